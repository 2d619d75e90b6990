#include "app/quenlo_app.h"

int main(int argc, char** argv) {
  CQuenloApp app;
  return app.InitInstance(argc, argv);
}
