// Work off the window's thread, with the window kept alive meanwhile.
//
// RunOffWindowThread runs a function on a thread of its own and returns
// when it has ended, letting window messages through all the while (a
// local event loop), so the window repaints and takes posted calls even
// when the work sends nothing for a long time. Objects the function
// creates live and die on that thread. The function's error is raised
// again on the window's thread with the same number, source and
// description.
#pragma once

#include <functional>

class QObject;

namespace velmora {

void RunOffWindowThread(QObject* window, const std::function<void()>& work);

// From the work's thread: runs `call` on the window's thread, later, in
// posting order (PostToWindow), or now, waiting for it to end
// (CallOnWindow: for modal boxes the work must wait for).
void PostToWindow(QObject* window, std::function<void()> call);
void CallOnWindow(QObject* window, const std::function<void()>& call);

}  // namespace velmora
