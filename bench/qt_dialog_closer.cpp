// For the benchmark: closes the Qt front-end's modal dialogs as a user would, a moment after
// they open.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

void StartClosingDialogs() {
  auto* timer = new QTimer(QApplication::instance());
  QObject::connect(timer, &QTimer::timeout, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      box->done(QMessageBox::Ok);
    }
  });
  timer->start(20);
}
