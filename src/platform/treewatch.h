#pragma once

namespace korvane {

// A watch over some folders and files of a tree, made by a TreeWatchSource: what happens to them
// waits until it is asked whether anything did. Any thread.
class TreeWatch {
public:
    virtual ~TreeWatch() = default;

    // Whether what is watched may have changed since the watch was made: an entry of a watched folder
    // made, removed or renamed, a watched folder's own attributes set, a watched file written or its
    // attributes set, a watched folder or file removed or renamed away, or events the system lost.
    // Once true it stays true.
    virtual bool changed() = 0;
};

} // namespace korvane
