// The embedded web page. It stands in for a browser host with the same window hierarchy: the
// control's window holds "Shell Embedding" (what GetBrowserWindow returns), which holds
// "Shell DocObject View", which holds the document window "Internet Explorer_Server", each the
// first child of the one before. The document window shows a page of its own, which the wheel
// scrolls, and counts the wheel messages it receives.
#pragma once

#include "refcontrol.h"

namespace vexilref {

class CRefIEBrowser final : public CControlImpl<ICtrlIEBrowser, IRefBrowserInspect> {
public:
    using CControlImpl::CControlImpl;

    static const wchar_t kHostClass[];
    static const wchar_t kViewClass[];
    static const wchar_t kDocumentClass[];
    static LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK DocumentWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // ICtrlIEBrowser
    LRESULT HandleCopyData() override;
    void OnShelfHidden() override;
    HWND GetBrowserWindow() override { return Locked(m_hEmbedding); }

    // IRefBrowserInspect
    int WheelCount() override { return Locked(m_wheelCount); }
    WPARAM LastWheelWParam() override { return Locked(m_lastWheel); }
    int CopyDataCalls() override { return Locked(m_copyDataCalls); }
    int ShelfHiddenCalls() override { return Locked(m_shelfHiddenCalls); }
    HWND DocumentWindow() override { return Locked(m_hDocument); }
    void RecreateDocumentWindow() override { SendToWindow(WM_REF_RECREATE_DOC); }
    void DestroyDocumentWindow() override { SendToWindow(WM_REF_DESTROY_DOC); }
    void SetDocumentVisible(bool visible) override { SendToWindow(WM_REF_SHOW_DOC, visible ? 1 : 0); }
    int PageScroll() override { return Locked(m_pageScroll); }

private:
    const wchar_t* WindowClassName() const override { return L"VexilRefIEBrowser"; }
    void Paint(HDC dc, const RECT& client) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void OnCreated() override;
    void DpiChanged() override;

    void CreateDocument();
    void DestroyDocument();
    void OnDocumentGone(HWND document);
    // Counts the wheel message and scrolls the page (on the document window's thread).
    void OnWheel(HWND document, WPARAM wParam);
    // Draws the page into dc, scrolled as it is now; remembers how tall the page is.
    void PaintPage(HDC dc, const RECT& client);
    static void PaintDocument(HWND document, CRefIEBrowser* browser);

    CPaintCache m_pagePicture; // the document window's picture, on its thread
    HWND m_hEmbedding = nullptr;
    HWND m_hView = nullptr;
    HWND m_hDocument = nullptr;
    int m_pageScroll = 0;
    int m_pageHeight = 0; // as measured by the last paint
    int m_wheelCount = 0;
    WPARAM m_lastWheel = 0;
    int m_copyDataCalls = 0;
    int m_shelfHiddenCalls = 0;
};

} // namespace vexilref
