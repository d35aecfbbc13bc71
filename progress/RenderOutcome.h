#pragma once

// How a render ended, as far as its output and the user tell.
enum class RenderOutcome {
    Finished, // reached the pause or its closing line, with no failure
    Failed,   // the parser or the renderer reported a failure
    Stopped,  // the user stopped it
    Ended,    // it ended without saying how
};
