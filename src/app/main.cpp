#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QLabel label(QStringLiteral("日毎株価収集ソフトウェア"));
  label.show();
  return app.exec();
}
