#include "launcher/run_state.h"

TRunState Run;
