// CUlvaneAVConverterApp: starts the program. One window; when it closes, the process ends.
#include <QApplication>

#include "ui/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Ulvane AV Converter");
    ulvane::CUlvaneAVConverterDlg window(ulvane::WindowServices::Default());
    window.show();
    return app.exec();
}
