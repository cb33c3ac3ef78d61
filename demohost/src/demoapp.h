// What the demo host is made of, and the host actions that both the control window and the
// scripted session use: sign in and out, add and remove books, show and hide the shelf.
#pragma once

#include <windows.h>

#include <uiassist/scopedhandle.h>

#include <bookrack/bookrackwindow.h>

#include <atomic>
#include <string>

#include "coverfetcher.h"
#include "demolog.h"
#include "demosink.h"
#include "samplelibrary.h"

namespace shelfdemo {

class DemoApp {
public:
    DemoApp();
    ~DemoApp();
    DemoApp(const DemoApp&) = delete;
    DemoApp& operator=(const DemoApp&) = delete;

    // Loads desktopui.dll from the program's own folder and gets the bookshelf. False (logged)
    // when the module or its export is missing.
    bool LoadModule();
    // Hands the shelf the sink and the store and creates it hidden, signed in as the account.
    bool CreateShelf(int accountIndex, HWND statusWindow);
    // Deletes the sample books' covers from the library folder, so that the shelf asks for each
    // again. Only before the shelf is created.
    void ClearSampleCovers();
    // Closes the shelf (waits for its thread), stops the cover fetcher, unloads the module.
    void Shutdown();

    void SignIn(int accountIndex);
    void SignOut();
    // The next account after the signed-in one (the first when nobody is signed in).
    int NextAccount() const;
    // The book added (0 when none is left or nobody is signed in).
    int AddBook();
    // The book removed (0 when the shelf is empty).
    int RemoveBook();
    bool ShowShelf(HWND parent);
    void HideShelf();

    // The scripted session runs; closing the demo then asks it to stop first.
    void SetScriptRunning(bool running) { m_scriptRunning = running; }
    bool ScriptRunning() const { return m_scriptRunning; }
    void RequestCancel() { m_cancel = true; }
    bool Cancelled() const { return m_cancel; }

    // -1 while signed out.
    int SignedInAccount() const { return m_account; }
    std::wstring StatusText();

    DemoLog& Log() { return m_log; }
    SampleStore& Store() { return m_store; }
    CoverFetcher& Fetcher() { return m_fetcher; }
    DemoSink& Sink() { return m_sink; }
    CBookrackWindow* Rack() const { return m_rack; }

private:
    DemoLog m_log;
    SampleStore m_store;
    CoverFetcher m_fetcher;
    DemoSink m_sink;
    vexil::ScopedModule m_module;
    CBookrackWindow* m_rack = nullptr;
    std::atomic<int> m_account{-1};
    std::atomic<bool> m_closed{false};
    std::atomic<bool> m_scriptRunning{false};
    std::atomic<bool> m_cancel{false};
};

// The shelf's library folder: "<roaming application data>\KelvoDesktop\Folian". The shelf names
// it in every RequestCover; the scripted session needs it before the first request.
std::wstring ExpectedLibraryFolder();
std::wstring ProgramFolder();

} // namespace shelfdemo
