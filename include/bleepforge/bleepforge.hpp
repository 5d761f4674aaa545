#pragma once

// Everything a game needs to render retro sound effects at run time or export them: the catalogue,
// then the synth, then the exporters and the sound files.
#include "bleepforge/catalogue.hpp"
#include "bleepforge/export.hpp"
#include "bleepforge/sound.hpp"
#include "bleepforge/synth.hpp"
