#pragma once

#include <QDialog>

// The About box, dialog 100: program icon, name, version and the maker's notice,
// placed from dialog units of its 9-point font.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // Template ids of the controls, for placement checks.
    static constexpr const char* kName = "ヴァントレル  for Windows";
    static constexpr const char* kVersion = "Ver. 1.00";
    static constexpr const char* kNotice = "Copyright (C) 2026 Kovalmeret";
};
