#include "app/picture.h"
