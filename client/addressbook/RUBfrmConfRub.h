#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;

// Settings of the address book: "ShowRubrica" and "FieldRubrica".
class RUBfrmConfRub : public QDialog
{
    Q_OBJECT
public:
    explicit RUBfrmConfRub(QWidget *parent = nullptr);
    void SaveBookSettings();

private:
    QCheckBox *Check1;
    QComboBox *cboType;
    bool m_shownShow = false; // what the boxes showed when made or last stored
    int m_shownField = 0;
};
