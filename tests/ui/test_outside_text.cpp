// Outside text in every window that shows it: nothing it names is loaded (a FIFO would
// hang the app, a 1 GiB image be read whole), links open only outside and only https,
// and the text reads as typed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QTextBlock>
#include <QScrollBar>

#include "popover_rig.h"
#include "providers/text.h"
#include "ui/plain_text.h"
#include "ui/release_notes_view.h"
#include "ui/update_window.h"

namespace qb {
namespace {

class Opened : public QObject {
  Q_OBJECT
 public Q_SLOTS:
  void open(const QUrl& url) { urls << url; }

 public:
  QList<QUrl> urls;
};

qint64 bytesRead() {  // a 1 GiB image read whole shows here
  QFile io(QStringLiteral("/proc/self/io"));
  return io.open(QIODevice::ReadOnly) ? io.readLine().mid(6).trimmed().toLongLong() : 0;  // rchar
}

QString shownBy(QWidget* w) { return w ? QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name) : QString(); }

TEST(OutsideText, IsShownAsTypedAndLoadsNothing) {
  QTemporaryDir dir;
  const QString fifo = dir.filePath(QStringLiteral("fifo")), big = dir.filePath(QStringLiteral("big.png"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo), 0600), 0);
  QFile sparse(big);
  ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(1) << 30));
  test::PopoverRig rig({QString(), QString(), QString(), QString()});
  ui::UpdateWindow window(*rig.withUpdate());
  window.present();
  const QString word(1'000'000, u'w');
  const QString rows[] = {QStringLiteral("<img src=\"%1\"> ![f](%1)").arg(fifo), QStringLiteral("<img src=\"%1\"> ![big](%1)").arg(big),
                          QStringLiteral("<a href=\"file:///etc/passwd\">p</a>"), word};
  for (const QString& typed : rows) {
    const qint64 before = bytesRead();
    UpdateWindowView v = window.view();
    v.notes = typed;
    window.renderView(v);
    QLabel tip(ui::plainToolTip(typed));  // a tooltip's label guesses the format
    tip.show();
    std::unique_ptr<QMessageBox> box(ui::plainMessageBox(QMessageBox::Warning, QStringLiteral("Quotabar"),
                                                         QStringLiteral("Couldn't validate that token"), typed, nullptr));
    box->show();
    test::spin(50);
    const QString shown = ui::capped(typed);
    auto* notes = window.findChild<ui::ReleaseNotesView*>();
    ASSERT_TRUE(notes && notes->isVisible());
    EXPECT_EQ(notes->toPlainText(), shown);
    EXPECT_EQ(shownBy(&tip).remove(u'\n').remove(QChar(0x200B)), shown);
    EXPECT_EQ(shownBy(box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))), shown);
    EXPECT_LT(bytesRead() - before, 64 << 20);
  }
  EXPECT_EQ(addressForLog(QUrl(QStringLiteral("https://u:p@x.test/cb?code=1#token=2"))), QStringLiteral("https://x.test/cb"));

  // Links: only https opens, outside; the box keeps its text, and a progress report
  // renders again without a new box or a lost scroll position.
  Opened opened;
  const QStringList schemes{QStringLiteral("https"), QStringLiteral("http"), QStringLiteral("file")};
  for (const QString& s : schemes) QDesktopServices::setUrlHandler(s, &opened, "open");
  UpdateWindowView v = window.view();
  v.notes = QStringLiteral("[file](file:///etc/passwd) [web](https://example.test/x) [plain](http://example.test/)\n") +
            QStringLiteral("line\n").repeated(200);
  window.renderView(v);
  test::spin(50);
  auto* notes = window.findChild<ui::ReleaseNotesView*>();
  const QString text = notes->toPlainText();
  for (QTextBlock b = notes->document()->begin(); b.isValid(); b = b.next()) {
    for (auto f = b.begin(); !f.atEnd(); ++f) {
      if (!f.fragment().charFormat().isAnchor()) continue;
      QTextCursor at(notes->document());
      at.setPosition(f.fragment().position() + 1);
      const QPoint p = notes->cursorRect(at).center();
      QMouseEvent press(QEvent::MouseButtonPress, p, notes->viewport()->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton, {});
      QMouseEvent release(QEvent::MouseButtonRelease, p, notes->viewport()->mapToGlobal(p), Qt::LeftButton, {}, {});
      QApplication::sendEvent(notes->viewport(), &press);
      QApplication::sendEvent(notes->viewport(), &release);
    }
  }
  for (const QString& s : schemes) QDesktopServices::unsetUrlHandler(s);
  EXPECT_EQ(opened.urls, QList<QUrl>{QUrl(QStringLiteral("https://example.test/x"))});
  EXPECT_EQ(notes->toPlainText(), text);
  notes->verticalScrollBar()->setValue(notes->verticalScrollBar()->maximum() / 2);
  const int scrolled = notes->verticalScrollBar()->value();
  v.progressText = QStringLiteral("1 MB of 9 MB");
  window.renderView(v);
  EXPECT_EQ(window.findChild<ui::ReleaseNotesView*>(), notes);
  EXPECT_EQ(notes->verticalScrollBar()->value(), scrolled);
  EXPECT_GT(scrolled, 0);
}

}  // namespace
}  // namespace qb

#include "test_outside_text.moc"
