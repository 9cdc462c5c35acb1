// The messages that the progress windows post to themselves when they are activated, so that
// their work starts inside their own modal loop.
#pragma once

#include <QEvent>

namespace ui {

inline const QEvent::Type WM_STARTSCAN = static_cast<QEvent::Type>(QEvent::User);
inline const QEvent::Type WM_STARTREAD = static_cast<QEvent::Type>(QEvent::User + 1);
inline const QEvent::Type WM_STARTWRITE = static_cast<QEvent::Type>(QEvent::User + 2);
inline const QEvent::Type WM_STARTDOWNLOAD = static_cast<QEvent::Type>(QEvent::User + 3);

}  // namespace ui
