// Re-reading the folder tree (F5): folders made or removed since the tree
// was filled appear or go, and what the user had done is kept where the
// folders still exist: ticks, opened branches and the current item, all
// matched by the folders' paths. A new folder inside a branch ticked with
// all its sub-folders is ticked too, since that tick meant "everything
// below"; other new folders start unticked.
#pragma once

#include <functional>

class CDirectoryTree;

class CTreeRefresh {
public:
    // Notes the tree's state, calls `refill` (which lists the drives anew)
    // and gives the new items the noted state.
    static void Reload(CDirectoryTree& tree, const std::function<void()>& refill);
};
