#pragma once

namespace velnor::test {

// Handles the Qt events waiting on this thread, if there is an application: lets an input
// backend of this process send what waits in its queue. (No Qt header here: the X helpers that
// call it include Xlib, whose macros break Qt's.)
void processQtEvents();

}  // namespace velnor::test
