#include "widgets/plain_text.h"

#include <QLabel>

namespace qb::ui {

QString capped(const QString& text) {
  return text.size() <= kMaxOutsideText ? text : text.left(kMaxOutsideText) + QChar(0x2026);
}

QString plainToolTip(const QString& outside) {
  const QString text = capped(outside);
  const qsizetype firstLineEnd = text.indexOf(u'\n') < 0 ? text.size() : text.indexOf(u'\n');
  qsizetype at = 0;
  while (at < firstLineEnd && text[at] != u'<' && !QStringView(text).mid(at).startsWith(u"&lt;")) ++at;
  if (at == firstLineEnd) return text;
  // A zero-width space: a leading line of only blanks would be skipped.
  const QString head = text.left(at).trimmed().isEmpty() ? QString(QChar(0x200B)) : text.left(at);
  return head + u'\n' + text.mid(at);
}

QMessageBox* plainMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                             const QString& informative, QWidget* parent) {
  auto* box = new QMessageBox(icon, title, QString(), QMessageBox::Ok, parent);
  box->setTextFormat(Qt::PlainText);
  // The informative label exists only once it has a text; it is made plain before the real one.
  box->setInformativeText(QStringLiteral(" "));
  for (QLabel* l : box->findChildren<QLabel*>()) l->setTextFormat(Qt::PlainText);
  box->setText(capped(text));
  box->setInformativeText(capped(informative));
  return box;
}

void openPlainWarning(QWidget* parent, const QString& message, const QString& detail) {
  QMessageBox* box = plainMessageBox(QMessageBox::Warning, QStringLiteral("Quotabar"), message, detail, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

}  // namespace qb::ui
