#include "app/picture.h"

#include <gtest/gtest.h>
