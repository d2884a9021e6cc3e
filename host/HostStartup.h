#pragma once

class QApplication;

// What the host sets up at start for every window of the process, the
// packages' screens included:
//  - Qt's own texts (the text fields' context menu, the standard buttons and
//    dialogs) in Brazilian Portuguese, from Qt's translations
//    (QLibraryInfo::TranslationsPath, Debian package qt6-translations-l10n);
//    without them those texts stay in English and a warning is printed. The
//    few the catalog lacks (a folder's kind in the file dialogs) come from
//    the host;
//  - pt_BR as the default locale (numbers, dates);
//  - the application's icon on the main window, its MDI children and the
//    dialogs;
//  - the file the guest lists are kept in (guestrecord/ListDatabase.h),
//    which DatabaseURL names within DataDir while it is not set, as the
//    application server does.
// Call it once, after the application object is created and before the
// first window.
void SetUpHostApplication(QApplication& app);
