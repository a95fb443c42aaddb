#include "driver/command_line.h"

int main(int /*argc*/, char** argv) { return mendra::run_mendra(argv); }
