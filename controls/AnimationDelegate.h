#pragma once

class LayerAnimation;

// Told when a layer animation stops: finished is true when it ran to its end,
// false when it was replaced under its key or its layer left the layer tree.
class AnimationDelegate {
public:
    virtual ~AnimationDelegate() = default;
    virtual void animationDidStop(LayerAnimation* animation, bool finished) = 0;
};
