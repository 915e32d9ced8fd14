#include "ui/release_notes_view.h"

#include <QDesktopServices>
#include <QImage>
#include <QTextDocument>

#include "present/update_window_view.h"
#include "widgets/plain_text.h"

namespace qb::ui {

namespace {

// An empty answer of the kind asked for. QTextDocument reads a local file itself when its
// owner's loader answers nothing, and the image handler loads the path directly when the
// answer is not an image.
QVariant nothing(int type) {
  if (type != QTextDocument::ImageResource) return QByteArray();
  QImage blank(1, 1, QImage::Format_ARGB32);
  blank.fill(Qt::transparent);
  return blank;
}

class NothingLoaded : public QTextDocument {
 public:
  using QTextDocument::QTextDocument;
  QVariant loadResource(int type, const QUrl&) override { return nothing(type); }
};

}  // namespace

ReleaseNotesView::ReleaseNotesView(QWidget* parent) : QTextBrowser(parent) {
  setDocument(new NothingLoaded(this));
  setOpenLinks(false);
  setOpenExternalLinks(false);
  setAccessibleName(QStringLiteral("Release notes"));
  setMinimumHeight(120);
  connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl& url) {
    if (url.scheme() == QLatin1String("https") && url.isValid()) QDesktopServices::openUrl(url);
  });
}

QSize ReleaseNotesView::sizeHint() const { return {QTextBrowser::sizeHint().width(), minimumHeight()}; }

QVariant ReleaseNotesView::loadResource(int type, const QUrl&) { return nothing(type); }

void ReleaseNotesView::setNotes(const QString& notes) {
  if (notes == notes_ && !document()->isEmpty()) return;
  notes_ = notes;
  const QString shown = capped(notes);
  document()->setMarkdown(inlineOnlyMarkdown(shown), QTextDocument::MarkdownNoHTML);
  if (document()->toPlainText().trimmed().isEmpty()) document()->setPlainText(shown);
}

}  // namespace qb::ui
