#pragma once

#include "platform/error.h"
#include "platform/platform.h"

#include <exception>
#include <utility>

class QWidget;

namespace platform {

// Shows an escaped failure the way the toolkit does: the error box with the text and a full stop.
void reportError(QWidget *owner, const QString &message);

// Runs one event handler. Any exception ends the handler at that point and is shown in the
// error box; nothing escapes into the event loop.
template <typename F> void guarded(QWidget *owner, F &&handler) noexcept
{
    try {
        std::forward<F>(handler)();
    } catch (const KioskError &e) {
        reportError(owner, e.message());
    } catch (const std::exception &e) {
        reportError(owner, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        reportError(owner, QStringLiteral("未知错误"));
    }
}

} // namespace platform
