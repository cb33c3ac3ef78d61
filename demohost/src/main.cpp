// shelfdemo.exe: a host for the bookshelf with a sample library.
//
//   shelfdemo.exe [--log FILE] [--script [--shots FOLDER]]
//
// Without --script it shows its control window and the shelf and waits for the user. With --script
// it plays a short session by itself, writes pictures into FOLDER and exits: 0 when every step
// happened, otherwise the code of the first step that did not (see script.h). FOLDER defaults to
// %KELVO_OUT_DIR%\screenshots, or "screenshots" when that variable is not set. Every line of the
// log goes to stdout, and to FILE when given.
#include <windows.h>

#include <gdiplus.h>
#include <shellapi.h>

#include <string>
#include <thread>

#include "controlwindow.h"
#include "demoapp.h"
#include "script.h"

namespace {

struct Options {
    bool script = false;
    std::wstring shots;
    std::wstring logFile;
    bool valid = true;
};

Options ParseOptions() {
    Options options;
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args)
        return options;
    for (int i = 1; i < count; ++i) {
        const std::wstring arg = args[i];
        if (arg == L"--script") {
            options.script = true;
        } else if (arg == L"--shots" && i + 1 < count) {
            options.shots = args[++i];
        } else if (arg == L"--log" && i + 1 < count) {
            options.logFile = args[++i];
        } else {
            options.valid = false;
        }
    }
    LocalFree(args);
    if (options.script && options.shots.empty()) {
        wchar_t out[MAX_PATH] = {};
        const DWORD length = GetEnvironmentVariableW(L"KELVO_OUT_DIR", out, MAX_PATH);
        options.shots =
            length > 0 && length < MAX_PATH ? std::wstring(out) + L"\\screenshots" : L"screenshots";
    }
    return options;
}

const wchar_t kUsage[] = L"usage: shelfdemo.exe [--log FILE] [--script [--shots FOLDER]]";

int RunDemo(const Options& options, int nCmdShow) {
    shelfdemo::DemoApp app;
    if (!options.logFile.empty() && !app.Log().OpenFile(options.logFile))
        app.Log().Printf(L"cannot write the log file %ls; logging to stdout only", options.logFile.c_str());
    if (!options.valid) {
        app.Log().Line(kUsage);
        return shelfdemo::kScriptStartFailed;
    }
    app.Log().Printf(L"shelfdemo %ls", options.script ? L"(scripted session)" : L"(interactive)");

    if (!app.LoadModule()) {
        if (!options.script)
            MessageBoxW(nullptr, L"desktopui.dll could not be loaded from the program's folder.",
                        L"Shelf demo", MB_ICONERROR);
        return shelfdemo::kScriptStartFailed;
    }
    shelfdemo::ControlWindow control(app, true);
    if (!control.Create(nCmdShow)) {
        app.Log().Printf(L"cannot create the control window (error %lu)", GetLastError());
        return shelfdemo::kScriptStartFailed;
    }
    // A scripted session shows the covers arriving: the ones of earlier runs go first.
    if (options.script)
        app.ClearSampleCovers();
    if (!app.CreateShelf(0, control.Hwnd())) {
        app.Log().Line(L"the shelf could not be created");
        if (options.script) {
            DestroyWindow(control.Hwnd());
            control.Run();
            return shelfdemo::kScriptStartFailed;
        }
    }

    std::thread script;
    if (options.script) {
        app.SetScriptRunning(true);
        const HWND controlWindow = control.Hwnd();
        script = std::thread([&app, controlWindow, shots = options.shots] {
            const int code = shelfdemo::RunScript(app, shots);
            app.Log().Printf(L"script: exit code %d", code);
            app.SetScriptRunning(false);
            PostMessageW(controlWindow, shelfdemo::WM_DEMO_SCRIPT_DONE, static_cast<WPARAM>(code), 0);
        });
    }
    const int code = control.Run();
    if (script.joinable())
        script.join();
    app.Shutdown();
    return code;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int nCmdShow) {
    SetProcessDPIAware();
    ULONG_PTR gdiplusToken = 0;
    Gdiplus::GdiplusStartupInput startup;
    if (Gdiplus::GdiplusStartup(&gdiplusToken, &startup, nullptr) != Gdiplus::Ok)
        return shelfdemo::kScriptStartFailed;
    int code = shelfdemo::kScriptStartFailed;
    try {
        code = RunDemo(ParseOptions(), nCmdShow);
    } catch (...) {
    }
    Gdiplus::GdiplusShutdown(gdiplusToken);
    return code;
}
