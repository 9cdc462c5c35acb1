// Letting the window system work between the steps of a long task run on the GUI thread.
#pragma once

namespace ui {

// Lets pending window messages run, as the progress loops do between steps.
void LetMessagesRun(int times = 2);

}  // namespace ui
