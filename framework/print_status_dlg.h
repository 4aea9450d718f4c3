#pragma once

#include <QDialog>

#include <cstdint>

class QLabel;
class QPushButton;

// The modal status window of a running job: "印刷中", the document title, "を", the
// printer, its port and the current page, and a cancel button, inside a modal frame's
// border without a caption.
class CPrintStatusDlg : public QDialog {
    Q_OBJECT

public:
    CPrintStatusDlg(const QString& title, const QString& printer, const QString& port, QWidget* parent = nullptr);

    void SetPage(std::int64_t page);
    bool Cancelled() const { return m_bUserAbort; }
    QPushButton* CancelButton() const { return m_pCancel; }
    QLabel* PageLabel() const { return m_pPage; }

protected:
    void reject() override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* AddLine(const QString& text, int y);

    QLabel* m_pPage = nullptr;
    QPushButton* m_pCancel = nullptr;
    bool m_bUserAbort = false;
};
