#include "driver/win/bootstrap_state.h"

BootstrapState bootstrap_state;
