// The demo's own small window: buttons for the host actions and a few lines of status.
#pragma once

#include <windows.h>

#include <uiassist/scopedhandle.h>

#include "demoapp.h"

namespace shelfdemo {

// Posted to the control window when the scripted session is over: wParam = the exit code.
constexpr UINT WM_DEMO_SCRIPT_DONE = WM_APP + 2;

class ControlWindow {
public:
    // showShelfOnFirstReport: show the shelf as soon as it first reports its book count (it is
    // bound then), or after a bounded wait.
    ControlWindow(DemoApp& app, bool showShelfOnFirstReport);
    ControlWindow(const ControlWindow&) = delete;
    ControlWindow& operator=(const ControlWindow&) = delete;

    bool Create(int nCmdShow);
    HWND Hwnd() const { return m_hwnd; }
    // Runs the message loop until the window is closed; returns the exit code.
    int Run();

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int command);
    void RefreshStatus();
    void TryFirstShow(bool lastChance);
    void MoveOutOfTheShelf();

    DemoApp& m_app;
    HWND m_hwnd = nullptr;
    HWND m_status = nullptr;
    vexil::ScopedGdiObject<HFONT> m_font;
    bool m_waitingForFirstShow;
    int m_exitCode = 0;
};

} // namespace shelfdemo
