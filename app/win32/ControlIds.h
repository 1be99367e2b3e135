#pragma once

// The control ids and window classes of the Win32 windows. Each control carries its
// id (GWLP_ID), so that the windows and their tests find it below its parent. Ids
// start above IDOK and IDCANCEL, which the dialog manager sends for Enter and Escape.
namespace brindel::app::win32 {

// The main window.
inline constexpr int kPanel1 = 100;
inline constexpr int kCbProfiles = 101;
inline constexpr int kBtnStart = 102;
inline constexpr int kBtnDelete = 103;
inline constexpr int kLblBackupFolder = 104;
inline constexpr int kMemo1 = 105;
inline constexpr int kBtnRestore = 106;
// The tab strip of the pages "Bericht" (the log) and "Profil" (the map's tree).
inline constexpr int kTabPages = 107;
inline constexpr int kTvProfileMap = 108;

// The selection dialog "Auswahl der Outlook Version".
inline constexpr int kLabel1 = 201;
inline constexpr int kChkRemOVersion = 202;
inline constexpr int kBtnOutlook0 = 203;
inline constexpr int kBtnOutlook1 = 204;

// The restore dialog "Profil wiederherstellen" and its question.
inline constexpr int kLblBackups = 301;
inline constexpr int kLvBackups = 302;
inline constexpr int kBtnRestoreFile = 303;
inline constexpr int kBtnOtherFile = 304;
inline constexpr int kBtnCancel = 305;
inline constexpr int kLblQuestion = 401;
inline constexpr int kBtnYes = 402;
inline constexpr int kBtnNo = 403;
inline constexpr int kIcoQuestion = 404;

inline constexpr wchar_t kMainDlgClass[] = L"BrindelMainDlg";
inline constexpr wchar_t kRestoreDlgClass[] = L"BrindelRestoreDlg";
inline constexpr wchar_t kQuestionDlgClass[] = L"BrindelQuestionDlg";
inline constexpr wchar_t kPanelClass[] = L"BrindelPanel";
inline constexpr wchar_t kOutlookVersionDlgClass[] = L"BrindelOutlookVersionDlg";

// The private start message, posted to the main window once it is on screen.
inline constexpr unsigned kWmStartUp = 0x0400 + 300;  // WM_USER + 300

}  // namespace brindel::app::win32
