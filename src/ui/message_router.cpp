#include "ui/message_router.h"

#include <QMessageBox>

#include "platform/notifier.h"
#include "widgets/plain_text.h"

namespace qb::ui {

MessageRouter::MessageRouter(platform::Notifier& notifier, std::function<bool()> hasTrayIcon,
                             std::function<QWidget*()> hostWindow, QObject* parent)
    : QObject(parent), notifier_(notifier), hasTrayIcon_(std::move(hasTrayIcon)),
      hostWindow_(std::move(hostWindow)) {}

void MessageRouter::show(const QString& text) {
  // A notification with no icon to come back to would leave the user nowhere to act.
  if (!hasTrayIcon_ || !hasTrayIcon_()) return showWindow(text);
  QPointer<MessageRouter> self(this);
  notifier_.send({QStringLiteral("Quotabar"), text, 1, {}}, {}, [self, text] {
    if (self) self->showWindow(text);
  });
}

void MessageRouter::showWindow(const QString& text) {
  // Messages carry outside text (a helper's or the file system's): never rich text.
  QMessageBox* box = plainMessageBox(QMessageBox::Warning, QStringLiteral("Quotabar"), text, QString(),
                                     hostWindow_ ? hostWindow_() : nullptr);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->show();
  lastWindow_ = box;
}

}  // namespace qb::ui
