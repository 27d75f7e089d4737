#pragma once

// Qt WebEngine draws through a GL context that every later context shares.
// Linked into the program, it makes that context while the application object
// is made, which loads the graphics driver (Mesa, LLVM) at every start for a
// board that may never open. Deferring puts a context that is not made yet in
// its place; the board makes it just before its first web view. Qt documents
// the same order for WebEngine started after the application object. Main thread.
namespace GlShare {

// Before the application object, with Qt::AA_ShareOpenGLContexts set.
void defer();
// Before the first web profile or view; does nothing when the context was not
// deferred (WebEngine then made it at start) or is made already.
void ready();
// Whether a shared GL context has been made in this process.
bool made();

} // namespace GlShare
