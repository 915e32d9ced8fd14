#pragma once

// Outside text (a server's error, an e-mail, an address) shown as typed. Qt guesses rich
// text for tooltips and message boxes, and rich text loads the images it names. Header
// only: the sign-in helper uses it too.
#include <QLabel>
#include <QMessageBox>
#include <QString>

namespace qb::ui {

// Outside text longer than this is cut (then "…"): one unbroken word of a million
// characters takes minutes to lay out, this many well under a second.
constexpr int kMaxOutsideText = 20'000;

inline QString capped(const QString& text) {
  return text.size() <= kMaxOutsideText ? text : text.left(kMaxOutsideText) + QChar(0x2026);
}

// A tooltip is rich text when its first line looks like markup. A first line without
// '<' or "&lt;" keeps the whole text plain, so a break goes before the first of them.
inline QString plainToolTip(const QString& outside) {
  const QString text = capped(outside);
  const qsizetype firstLineEnd = text.indexOf(u'\n') < 0 ? text.size() : text.indexOf(u'\n');
  qsizetype at = 0;
  while (at < firstLineEnd && text[at] != u'<' && !QStringView(text).mid(at).startsWith(u"&lt;")) ++at;
  if (at == firstLineEnd) return text;
  // A zero-width space: a leading line of only blanks would be skipped.
  const QString head = text.left(at).trimmed().isEmpty() ? QString(QChar(0x200B)) : text.left(at);
  return head + u'\n' + text.mid(at);
}

// A message box whose text and informative text are both plain.
inline QMessageBox* plainMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
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

}  // namespace qb::ui
