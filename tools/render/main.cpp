// lumivane-render: see RenderHelpText for the interface.
#include <iostream>
#include <string>
#include <vector>

#include "core/render/precision.h"
#include "tools/render/render_cli.h"

int main(int argc, char** argv) {
    // Before any extended arithmetic: the frame must come out as the clock's does.
    lumivane::UseExtendedPrecision();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return lumivane::RunRenderCli(arguments, std::cout, std::cerr);
}
