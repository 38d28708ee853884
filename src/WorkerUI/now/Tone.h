#pragma once

// The colour class of a piece of text or a status mark, named by meaning. The
// view models choose it; the views map it to the palette (secondary is the
// palette's dimmed text, primary its normal text).
enum class Tone { primary, secondary, green, orange, red };
