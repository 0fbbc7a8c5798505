#include <gtest/gtest.h>
int x;
