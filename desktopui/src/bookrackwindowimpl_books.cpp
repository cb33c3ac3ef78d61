// Adding, refreshing and removing books, and the events deferred while a batch delete runs.
#include "bookrackwindowimpl.h"

// Placeholders until the books work lands.
void CBookrackWindowImpl::AddBookToShelf(IShelfItem*, bool) {}
void CBookrackWindowImpl::ShelveBook(UINT, int, bool) {}
void CBookrackWindowImpl::RefreshBook(int) {}
void CBookrackWindowImpl::UnshelveBook(int) {}
void CBookrackWindowImpl::ReplayQueuedActions() {}
void CBookrackWindowImpl::UpdateBookCount() {}
void CBookrackWindowImpl::RequestCoverFromHost(int) {}
