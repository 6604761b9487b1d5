#include "cli/scan_command.h"

int main(int argc, char** argv) { return quarn::cli::run(argc, argv); }
