// The product's name and download page, kept in one place.
#pragma once

namespace bookrack {

// The product's name as the user sees it (ASCII, so it reads the same in every code page).
constexpr char kProductName[] = "KelvoDesktop";
// The page that offers the latest version, opened from the damaged-installation notice.
constexpr wchar_t kDownloadPageUrl[] = L"https://www.kelvodesktop.com/ver2.0";
// The skin package file named in the damaged-installation notice.
constexpr char kSkinPackageFile[] = "KelvoDesktopUi.ufd";

// What every window of the bookshelf is built from.
constexpr wchar_t kKernelModule[] = L"VexilKernel.dll";
constexpr wchar_t kSkinPackage[] = L"DesktopSkin\\KelvoDesktopUi.ufd";
constexpr wchar_t kBookrackWindowName[] = L"BookrackWindow";
constexpr wchar_t kPatchDelWindowName[] = L"MsgBox.PatchDel";
constexpr wchar_t kBalloonWindowName[] = L"NoBookBalloon";

} // namespace bookrack
