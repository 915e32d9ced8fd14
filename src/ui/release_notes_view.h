#pragma once

#include <QTextBrowser>

namespace qb::ui {

// The release notes box. The notes come unsigned from the update check, so they keep only
// inline Markdown: nothing is ever loaded (images, style sheets), a link opens only when
// it is https and then in the user's browser, and the text is capped so it lays out at once.
class ReleaseNotesView : public QTextBrowser {
  Q_OBJECT
 public:
  explicit ReleaseNotesView(QWidget* parent = nullptr);
  // Rebuilds the box only when the notes changed: progress reports keep the scroll position.
  void setNotes(const QString& notes);
  QVariant loadResource(int type, const QUrl& name) override;
  // Its least height: the window's column grows it, and never scrolls for it.
  QSize sizeHint() const override;

 private:
  QString notes_;
};

}  // namespace qb::ui
