// A serial port whose device went away under a drive command (the adapter unplugged, the far
// end of the line closed): the main window closes the link and says so once. The windows that
// run drive transactions stop at such a failure without a message of their own and leave the
// rest to the handler the main window sets here.
#pragma once

#include <QString>
#include <functional>

namespace ui {

// The main window's handler (null: none); it is given what the command had done, or nothing.
void SetPortFailureHandler(std::function<void(const QString& detail)> handler);

// When the open port has failed: hands `detail` to the handler and returns true. False while
// the port is sound or closed.
bool HandlePortFailure(const QString& detail = QString());

}  // namespace ui
