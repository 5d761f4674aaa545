#pragma once

// Everything a game needs to render retro sound effects at run time or export them.
#include "bleepforge/catalogue.hpp"
#include "bleepforge/export.hpp"
#include "bleepforge/synth.hpp"
