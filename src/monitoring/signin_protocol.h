#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The lines quotabar-signin and its caller exchange on standard input and output. Never a
// session value: the helper validates and stores the session itself.
namespace qb::signin_protocol {

inline constexpr char present[] = "present";     // caller -> helper: show the window
inline constexpr char shown[] = "shown";         // helper -> caller: window on screen
inline constexpr char loaded[] = "loaded";       // first page finished loading
inline constexpr char closed[] = "closed";       // window closed without success
inline constexpr char signedIn[] = "signed-in";  // + " " + who; the helper then exits
inline constexpr char error[] = "error";         // + " " + one line; the helper then exits
inline constexpr int maxLine = 1024;

struct Message {
  QByteArray word;
  QString text;  // printable: control characters became blanks
};

// Splits a byte stream into lines; a line longer than maxLine is an overflow.
class LineBuffer {
 public:
  void append(const QByteArray& bytes);
  std::optional<QByteArray> next();
  bool overflowed() const { return overflowed_; }

 private:
  QByteArray pending_;
  bool overflowed_ = false;
};

Message parse(const QByteArray& line);
// One line with its newline; `text` is made printable and cut to fit maxLine.
QByteArray format(const char* word, const QString& text = QString());

}  // namespace qb::signin_protocol
