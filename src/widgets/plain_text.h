#pragma once

// Outside text (a server's error, an e-mail, an address) shown as typed. Qt guesses rich
// text for tooltips and message boxes, and rich text loads the images it names.
#include <QMessageBox>
#include <QString>

namespace qb::ui {

// Outside text longer than this is cut (then "…"): one unbroken word of a million
// characters takes minutes to lay out, this many well under a second.
constexpr int kMaxOutsideText = 20'000;

QString capped(const QString& text);

// A tooltip is rich text when its first line looks like markup. A first line without
// '<' or "&lt;" keeps the whole text plain, so a break goes before the first of them.
QString plainToolTip(const QString& outside);

// A message box whose text and informative text are both plain.
QMessageBox* plainMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                             const QString& informative, QWidget* parent);

// A warning over `parent`, window-modal and not nested: what runs behind it keeps running.
// The detail is someone else's text (a server's, a store's).
void openPlainWarning(QWidget* parent, const QString& message, const QString& detail);

}  // namespace qb::ui
