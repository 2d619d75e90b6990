// GTK inside the test process, on an own Xvfb that lives until the process
// ends (GTK can't be initialised twice, nor survive losing its display).
#pragma once

// Starts Xvfb and initialises GTK on it, once per process. False when that
// is not possible.
bool InitGtkOnXvfb();
// Runs the default main context until `done` returns true or `timeout_ms`
// passes; returns done().
template <typename Done>
bool IterateUntil(Done done, int timeout_ms = 5000);

#include "support/gtk_display_impl.h"
