// Outside text in every window that shows it: nothing it names is loaded (a FIFO would hang
// the app, a 1 GiB image be read whole), only https links open, outside; it reads as typed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAccessible>
#include <QDesktopServices>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include "common/text.h"
#include "popover_rig.h"
#include "ui/release_notes_view.h"
#include "ui/update_window.h"
#include "widgets/plain_text.h"

namespace qb {
namespace {

qint64 bytesRead() {
  QFile io(QStringLiteral("/proc/self/io"));
  return io.open(QIODevice::ReadOnly) ? io.readLine().mid(6).trimmed().toLongLong() : 0;  // rchar
}

QString shownBy(QWidget* w) { return w ? QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name) : QString(); }

TEST(OutsideText, IsShownAsTypedAndLoadsNothing) {
  QTemporaryDir dir;
  const QString fifo = dir.filePath(QStringLiteral("fifo")), big = dir.filePath(QStringLiteral("big.png"));
  QFile sparse(big);
  ASSERT_TRUE(::mkfifo(QFile::encodeName(fifo), 0600) == 0 && sparse.open(QIODevice::WriteOnly) && sparse.resize(1LL << 30));
  test::PopoverRig rig({QString(), QString(), QString(), QString()});
  ui::UpdateWindow window(*rig.withUpdate());
  window.present();
  const QString image = QStringLiteral("<img src=\"%1\"> ![i](%1)");
  for (const QString& typed : {image.arg(fifo), image.arg(big), QStringLiteral("<a href=\"file:///etc/passwd\">p</a>"),
                               QString(1'000'000, u'w')}) {
    const qint64 before = bytesRead();
    UpdateWindowView v = window.view();
    v.notes = typed;
    window.renderView(v);
    QLabel tip(ui::plainToolTip(typed));  // a tooltip's label guesses the format
    tip.show();
    std::unique_ptr<QMessageBox> box(ui::plainMessageBox(QMessageBox::Warning, QStringLiteral("Quotabar"),
                                                         QStringLiteral("Couldn't validate that token"), typed, nullptr));
    box->show();
    window.grab(), tip.grab(), box->grab();  // laid out and painted now, as on a screen
    auto* notes = window.findChild<ui::ReleaseNotesView*>();
    ASSERT_TRUE(notes && notes->isVisible());
    EXPECT_EQ(notes->toPlainText(), ui::capped(typed));
    EXPECT_EQ(shownBy(&tip).remove(u'\n').remove(QChar(0x200B)), ui::capped(typed));
    EXPECT_EQ(shownBy(box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))), ui::capped(typed));
    EXPECT_LT(bytesRead() - before, 64 << 20);
  }
  // For a terminal, every control character but a line break or tab is replaced; for a bar's
  // markup, "&", "<" and ">" are entities; JSON for a terminal escapes what JSON lets through.
  EXPECT_EQ(terminalText(QStringLiteral("a\x1b]0;t\x07" "b\r\x7f\u009b\u00a0\tc\nd")),
            QStringLiteral("a\uFFFD]0;t\uFFFDb\uFFFD\uFFFD\uFFFD\u00a0\tc\nd"));
  EXPECT_EQ(markupEscaped(QStringLiteral("<span size=\"x\">&amp;</span>")),
            QStringLiteral("&lt;span size=\"x\"&gt;&amp;amp;&lt;/span&gt;"));
  EXPECT_EQ(terminalJson(QByteArray("{\"a\":\"\xc2\x9b\x7f\xc2\xa0\"}")), QByteArray("{\"a\":\"\\u009b\\u007f\xc2\xa0\"}"));
  EXPECT_EQ(addressForLog(QUrl(QStringLiteral("https://u:p@x.test/cb?code=1#token=2"))), QStringLiteral("https://x.test/cb"));

  // Each link clicked: only https opens, outside (here its handler); a progress report
  // keeps the box and its scroll position.
  QTextBrowser opened;
  const QStringList schemes{QStringLiteral("https"), QStringLiteral("http"), QStringLiteral("file")};
  for (const QString& s : schemes) QDesktopServices::setUrlHandler(s, &opened, "setSource");
  UpdateWindowView v = window.view();
  v.notes = QStringLiteral("[web](https://example.test/x) [file](file:///etc/passwd) [plain](http://example.test/)\n") +
            QStringLiteral("line\n").repeated(200);
  window.renderView(v);
  window.grab();
  auto* notes = window.findChild<ui::ReleaseNotesView*>();
  const QString text = notes->toPlainText();
  for (auto f = notes->document()->begin().begin(); !f.atEnd(); ++f) {
    QTextCursor at(notes->document());
    at.setPosition(f.fragment().position() + 1);
    QTest::mouseClick(notes->viewport(), Qt::LeftButton, {}, notes->cursorRect(at).center());
  }
  for (const QString& s : schemes) QDesktopServices::unsetUrlHandler(s);
  EXPECT_EQ(opened.source(), QUrl(QStringLiteral("https://example.test/x")));
  EXPECT_EQ(notes->toPlainText(), text);
  notes->verticalScrollBar()->setValue(notes->verticalScrollBar()->maximum() / 2);
  const int scrolled = notes->verticalScrollBar()->value();
  ASSERT_GT(scrolled, 0);
  v.progressText = QStringLiteral("1 MB of 9 MB");
  window.renderView(v);
  EXPECT_EQ(window.findChild<ui::ReleaseNotesView*>(), notes);
  EXPECT_EQ(notes->verticalScrollBar()->value(), scrolled);
}

}  // namespace
}  // namespace qb
