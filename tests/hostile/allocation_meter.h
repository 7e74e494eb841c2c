// Counts the heap bytes that the code under test holds at most at once,
// through the address sanitizer's allocation hooks. Without the sanitizer
// nothing is counted and available() is false.
#pragma once

#include <cstddef>

namespace allocationMeter {

bool available();
// Starts counting from zero live bytes.
void start();
// Stops counting; the most bytes live at once since start().
size_t stop();

} // namespace allocationMeter
