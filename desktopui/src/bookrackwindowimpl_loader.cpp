// Loading the whole shelf and the loader thread.
#include "bookrackwindowimpl.h"

// Placeholders until the loader work lands.
void CBookrackWindowImpl::LoadShelf() {}
void CBookrackWindowImpl::StopLoader() {}
DWORD WINAPI CBookrackWindowImpl::LoaderThread(void*) { return 0; }
