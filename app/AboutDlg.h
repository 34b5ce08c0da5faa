// The About box: the icon, the program's name and version, and an OK button.
#ifndef KOVRA_APP_ABOUTDLG_H
#define KOVRA_APP_ABOUTDLG_H

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent);
};

#endif
