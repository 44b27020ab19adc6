// Threads started to work beside the one that starts them.
#pragma once

#include <functional>
#include <thread>

namespace vx {

// A new thread running `body`, started on another processor than the
// calling thread's where there is one. The scheduler puts a new thread on
// its creator's processor, and while the creator stays busy the two share it
// for milliseconds before one of them is moved; this thread begins elsewhere
// at once, and may go anywhere afterwards.
std::thread StartThreadBeside(std::function<void()> body);

}  // namespace vx
