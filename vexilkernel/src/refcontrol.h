// The part every control of the reference kernel shares: its child window of the skin window's
// HWND, its lock, its object id, painting and the path of its notifications.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include <vexil/kernel.h>
#include <vexilref/refprobe.h>

#include "drawing.h"
#include "paintcache.h"
#include "skinpackage.h"

namespace vexilref {

class CSkinWindow;

// Private messages of the kernel's own windows. The inspector sends them so that every change it
// makes runs on the control's window thread, as a user's action would.
enum : UINT {
    WM_REF_USER_OPEN = WM_APP + 0x3001,     // book matrix: wParam = id
    WM_REF_USER_DELETE = WM_APP + 0x3002,   // book matrix: wParam = id
    WM_REF_USER_CLICK = WM_APP + 0x3003,    // book matrix: wParam = id, lParam = MK_CONTROL | MK_SHIFT
    WM_REF_SET_SELECTION = WM_APP + 0x3004, // book matrix: lParam = const std::vector<int>*
    WM_REF_BATCH_END = WM_APP + 0x3005,     // book matrix, posted by RemoveBooks: wParam = value
    WM_REF_MENU_COMMAND = WM_APP + 0x3006,  // manager: wParam = RefManagerMenuCommand
    WM_REF_DISMISS_MENU = WM_APP + 0x3007,  // manager
    WM_REF_RECREATE_DOC = WM_APP + 0x3008,  // browser
    WM_REF_DESTROY_DOC = WM_APP + 0x3009,   // browser
    WM_REF_SHOW_DOC = WM_APP + 0x300A,      // browser: wParam = visible
    WM_REF_SYNC_SCROLL = WM_APP + 0x300B,   // book matrix, posted: bring the scroll bar up to date
    WM_REF_PREFETCH = WM_APP + 0x300C,      // book matrix, posted: decode covers a page beyond the view
    WM_REF_REPAINT_NOW = WM_APP + 0x300D,   // skin window's root: every control drawn afresh, painted now
};

class CRefControl {
public:
    CRefControl(CSkinWindow* skin, const ControlSpec& design);
    virtual ~CRefControl() = default;
    CRefControl(const CRefControl&) = delete;
    CRefControl& operator=(const CRefControl&) = delete;

    // Creates the control's child window of parent at rect (on the calling thread, which owns parent).
    bool Create(HWND parent, int childId, const RECT& rect);
    // Where the control stands now, in the skin window's client coordinates.
    RECT Placement() const { return Locked(m_placement); }
    // Notes the place the skin window's layout gave the control (its window is moved by the caller).
    void SetPlacement(const RECT& rect);
    // The window's display scale changed (window thread): sizes and fonts are taken again at the new
    // DPI and the whole picture is redrawn.
    virtual void DpiChanged() { Redraw(false); }
    // The control as the contract sees it.
    virtual IControlBase* Base() = 0;
    const std::string& Name() const { return m_spec.name; }
    const ControlSpec& Design() const { return m_spec; }
    HWND Window() const;

    // The window class of each kind of control; registered by the kernel under its own module.
    static const wchar_t* const kWindowClasses[];
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    virtual const wchar_t* WindowClassName() const = 0;
    // Styles the control's window has besides WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS.
    virtual DWORD ExtraStyle() const { return 0; }
    // Draws the control into dc, a memory DC that keeps the picture between paints. Only what lies in
    // the DC's clipping region (GetClipBox) needs drawing; it is all the picture that is out of date.
    virtual void Paint(HDC dc, const RECT& client) = 0;
    // False for a control so cheap to draw that keeping its picture is not worth the memory.
    virtual bool KeepsPicture() const { return true; }
    // The control's own messages; true when handled (result set).
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Runs once the child window exists, on its thread.
    virtual void OnCreated() {}

    // A copy of a field, taken under the lock: how the inspector reads state from any thread.
    template <class T> T Locked(const T& field) const {
        std::lock_guard<std::mutex> lock(m_lock);
        return field;
    }
    // The control's state changed: its whole picture is redrawn at the next paint (now: at once).
    void Redraw(bool now);
    // Only part of the control changed (client coordinates): only that part is redrawn.
    void RedrawPart(const RECT& part);
    // The same for a part that may change many times in a burst (a count): its picture is out of date
    // at once, but the window repaints it at most once a frame. On the window thread; from any other
    // it is RedrawPart.
    void RedrawPartOncePerFrame(const RECT& part);
    // Moves the kept picture with a scrolled view: only the band that came into view is redrawn.
    void ScrollPicture(int dy);
    // Hands a notification to the skin window's callback. Never call with m_lock held.
    void Notify(int id, WPARAM wParam, LPARAM lParam);
    // Takes the skin window's managers out of the deleting state (a batch delete has ended).
    void EndWindowBatchDelete();
    // Hands the display mode a manager was given to the skin window's book matrices.
    void ShowModeChanged(int mode);
    // Runs message on the control's window thread and waits (the inspector's way in).
    LRESULT SendToWindow(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    std::wstring WindowTitle() const;
    // The skin window's designed size.
    SIZE WindowDesignSize() const;
    // The DPI the skin window is drawn at, and a size in 96-DPI units at that DPI (any thread).
    UINT Dpi() const;
    int Scale(int value) const;
    bool SameControl(IControlBase* other);
    // Asks for one WM_MOUSELEAVE when the mouse leaves the control (for hover looks).
    void TrackMouseLeave();

    mutable std::mutex m_lock; // guards the state the inspector reads from other threads
    const ControlSpec m_spec;
    std::string m_objectId;
    std::atomic<int> m_redrawCalls{0};
    std::atomic<int> m_renders{0}; // times Paint drew into the kept picture

private:
    LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Copies the part of the picture in area to dc, redrawing first what is out of date.
    void Show(HDC dc, const RECT& area);
    void PaintBuffered(HWND hwnd);

    CPaintCache m_picture;    // window thread, apart from marking parts out of date
    RECT m_framePending = {}; // window thread: what the next frame's timer invalidates
    CSkinWindow* const m_skin;
    RECT m_placement = {}; // under m_lock
    HWND m_hWnd = nullptr; // written on the window thread under m_lock
};

// Implements IControlBase and IRefControlInspect once for every kind of control.
template <class TCtrl, class TInspect>
class CControlImpl : public CRefControl, public TCtrl, public TInspect {
public:
    using CRefControl::CRefControl;

    IControlBase* Base() override { return this; }

    void RedrawControl(bool now) override { Redraw(now); }
    bool CompareControl(IControlBase* other) override { return SameControl(other); }
    const char* GetObjectId() override { return m_objectId.c_str(); }
    const char* GetControlName() override { return m_spec.name.c_str(); }
    bool GetCtrlRect(RECT* rect) override {
        if (!rect)
            return false;
        *rect = Placement();
        return true;
    }

    HWND ControlWindow() override { return Window(); }
    std::string ControlClass() override { return m_spec.className; }
    int RedrawCalls() override { return m_redrawCalls.load(); }
    int RenderCalls() override { return m_renders.load(); }
};

} // namespace vexilref
