#include "app/settings_model.h"
