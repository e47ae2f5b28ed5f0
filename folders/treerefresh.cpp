// Re-reading the folder tree with its ticks kept (see treerefresh.h).
#include "folders/treerefresh.h"

#include "folders/directorytree.h"

#include <deque>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

struct Snapshot {
    std::unordered_map<std::string, int> states;
    std::unordered_set<std::string> expanded;
    std::string current;
};

// Every item below the root, parents before their children. The walk only
// covers what the user has loaded, one level beyond what is open.
std::vector<QTreeWidgetItem*> TopDown(const CDirectoryTree& tree)
{
    std::vector<QTreeWidgetItem*> items;
    if (tree.RootItem() == nullptr) return items;
    std::deque<QTreeWidgetItem*> pending{tree.RootItem()};
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.front();
        pending.pop_front();
        if (item != tree.RootItem()) items.push_back(item);
        for (int i = 0; i < item->childCount(); ++i) pending.push_back(item->child(i));
    }
    return items;
}

Snapshot Take(CDirectoryTree& tree)
{
    Snapshot snapshot;
    for (QTreeWidgetItem* item : TopDown(tree)) {
        std::string path;
        tree.GetItemPath(item, path);
        snapshot.states[path] = tree.GetCheckState(item);
        if (item->isExpanded()) snapshot.expanded.insert(path);
    }
    if (tree.currentItem() != nullptr) tree.GetItemPath(tree.currentItem(), snapshot.current);
    return snapshot;
}

void Restore(CDirectoryTree& tree, const Snapshot& snapshot)
{
    // Opening a branch reads the level below its children and sets the
    // children's ticks from the branch's, so the branches are opened first,
    // parents before children (each opening brings in the items the walk
    // comes to next), and the noted ticks are laid over the result.
    if (tree.RootItem() == nullptr) return;
    std::deque<QTreeWidgetItem*> pending{tree.RootItem()};
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.front();
        pending.pop_front();
        if (item != tree.RootItem()) {
            std::string path;
            tree.GetItemPath(item, path);
            if (snapshot.expanded.count(path) != 0) item->setExpanded(true);
        }
        for (int i = 0; i < item->childCount(); ++i) pending.push_back(item->child(i));
    }
    for (QTreeWidgetItem* item : TopDown(tree)) {
        std::string path;
        tree.GetItemPath(item, path);
        if (!snapshot.current.empty() && path == snapshot.current) tree.setCurrentItem(item);
        const bool hasChildren = item->childCount() > 0;
        const QTreeWidgetItem* parent = item->parent();
        if (parent != tree.RootItem() && tree.GetCheckState(parent) == CDirectoryTree::STATE_CHECKED_ALL) {
            tree.SetCheckState(item, hasChildren ? CDirectoryTree::STATE_CHECKED_ALL : CDirectoryTree::STATE_CHECKED);
            continue;
        }
        const auto noted = snapshot.states.find(path);
        if (noted == snapshot.states.end()) continue;
        int state = noted->second;
        // A folder whose sub-folders are all gone is fully ticked by its
        // own tick.
        if (state == CDirectoryTree::STATE_CHECKED_ALL && !hasChildren) state = CDirectoryTree::STATE_CHECKED;
        tree.SetCheckState(item, state);
    }
}

}  // namespace

void CTreeRefresh::Reload(CDirectoryTree& tree, const std::function<void()>& refill)
{
    const Snapshot snapshot = Take(tree);
    refill();
    Restore(tree, snapshot);
    tree.viewport()->update();
}
