#include "app/startup.h"
#include "platform/host.h"

int main() { return kestrune::app::RunProgram(kestrune::platform::DefaultHost()); }
