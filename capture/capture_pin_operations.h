// The capture pin as the camera link sees it: one operation that asks the
// class driver to run the pin's processing. The pin record itself lives with
// the driver's dispatch code.
#pragma once

class CapturePinOperations {
public:
    // Queues the pin's processing and returns at once; called by the capture
    // thread after every raw frame.
    virtual void RequestProcessing() = 0;

protected:
    ~CapturePinOperations() = default;
};
