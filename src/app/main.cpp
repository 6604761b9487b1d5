// The window program's entry: the one application object, and the layer's
// start-up that runs it.
#include "app/cleaner_app.h"

namespace {

quarn::ui::CCleanerApp theApp;

}  // namespace

int main(int argc, char** argv) { return quarn::ui::run_application(argc, argv); }
