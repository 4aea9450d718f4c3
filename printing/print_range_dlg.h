#pragma once

#include <QDialog>

#include <cstdint>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Asks whether to print all pages of the one marked file or a range of them.
class CPrintRangeDlg : public QDialog {
    Q_OBJECT

public:
    enum : int {
        IDD = 130,
        IDC_TOTAL = 1000,
        IDC_ALL_PAGES = 1001,
        IDC_RANGE_PAGES = 1002,
        IDC_FROM = 1003,
        IDC_TO = 1004,
    };

    explicit CPrintRangeDlg(QWidget* parent = nullptr);

    // IDOK (1) with m_nFrom and m_nTo set, else IDCANCEL (2).
    int DoModal();
    // Fills the controls from m_nTotalPages and m_nFrom; DoModal runs it first.
    void OnInitDialog();

    std::int64_t m_nTotalPages = 0;
    std::int64_t m_nFrom = 1;
    std::int64_t m_nTo = 0;

    QWidget* Control(int id) const;
    QLineEdit* FromEdit() const { return m_pFrom; }
    QLineEdit* ToEdit() const { return m_pTo; }

protected:
    void accept() override;

private:
    void OnAllPages();
    void OnRangePages();
    void OnOK();
    // Places the controls of the template, the edits extra dialog units wider.
    void PlaceControls(int extra);
    // How many dialog units wider the edits must be to show digits digits whole.
    int ExtraEditUnits(int digits) const;

    QGroupBox* m_pTotal = nullptr;
    QRadioButton* m_pAll = nullptr;
    QRadioButton* m_pRange = nullptr;
    QLineEdit* m_pFrom = nullptr;
    QLineEdit* m_pTo = nullptr;
    QLabel* m_pFromLabel = nullptr;
    QLabel* m_pToLabel = nullptr;
    QPushButton* m_pOK = nullptr;
    QPushButton* m_pCancel = nullptr;
};
