// The batch-delete window.
#include "patchdelwindow.h"

#include "bookrackwindowimpl.h"

// Placeholders until the batch-delete work lands.
CPatchDelWindow::~CPatchDelWindow() = default;
bool CPatchDelWindow::Start(IUiKernel*, CBookrackWindowImpl*, IShelfSink*, int) { return false; }
void CPatchDelWindow::Stop(bool) {}
void CPatchDelWindow::OnCreate() {}
LRESULT CPatchDelWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return CVexilWindow::WindowProc(msg, wParam, lParam);
}
LRESULT CPatchDelWindow::OnCtrlMessage(IControlBase*, int, WPARAM, LPARAM) { return 0; }
DWORD WINAPI CPatchDelWindow::WorkerThread(void*) { return 0; }
