#include "tests/support/windows_fs_model.h"

#include <algorithm>
#include <cctype>

namespace winmodel {

Principal TheUser() { return Principal{{kTheUser, kUsers}, kTheUser}; }
Principal ElevatedAdmin() { return Principal{{kTheUser, kUsers, kAdministrators}, kAdministrators}; }

CModel::CModel() {
    const Dacl admin{{kSystem, kAll}, {kAdministrators, kAll}, {kUsers, kReadExecute}};
    const Dacl mine{{kSystem, kAll}, {kAdministrators, kAll}, {kTheUser, kAll}};
    AddFolder("C:", kSystem, {{kSystem, kAll}, {kAdministrators, kAll}, {kUsers, kReadExecute | kWrite}});
    AddFolder("C:\\Windows", kSystem, admin);
    // Any user may add to the Windows directory's Temp (and read nothing of others' there).
    AddFolder("C:\\Windows\\Temp", kSystem, {{kSystem, kAll}, {kAdministrators, kAll}, {kUsers, kWrite | kExecute}});
    AddFolder("C:\\Users", kSystem, admin);
    AddFolder("C:\\Users\\me", kTheUser, mine);
    AddFolder("C:\\Users\\me\\Temp", kTheUser, mine);
    AddFolder("C:\\work", kTheUser, mine);
    AddFolder("C:\\dl", kTheUser, mine);
}

std::string CModel::Key(const std::string& path) {
    std::string key;
    for (char c : path) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    while (key.size() > 2 && key.back() == '\\') key.pop_back();
    return key;
}

std::string CModel::Parent(const std::string& key) {
    size_t slash = key.rfind('\\');
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

void CModel::AddFolder(const std::string& path, const std::string& owner, const Dacl& dacl) {
    auto node = std::make_shared<Node>();
    node->folder = true;
    node->owner = owner;
    node->dacl = dacl;
    m_nodes[Key(path)] = node;
}

void CModel::AddFile(const std::string& path, const std::string& owner, const Dacl& dacl, const std::string& data) {
    auto node = std::make_shared<Node>();
    node->owner = owner;
    node->dacl = dacl;
    node->data = data;
    m_nodes[Key(path)] = node;
}

std::string CModel::Resolve(const std::string& path, bool openLink) const {
    std::string key = Key(path);
    std::string current;
    size_t at = 0;
    for (int hops = 0; at <= key.size() && hops < 64; ++hops) {
        size_t slash = key.find('\\', at);
        std::string part = key.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        current = current.empty() ? part : current + "\\" + part;
        const bool last = slash == std::string::npos;
        auto node = Find(current);
        if (node && !node->junction.empty() && !(last && openLink)) current = Resolve(node->junction, false);
        if (last) break;
        at = slash + 1;
    }
    return current;
}

std::shared_ptr<CModel::Node> CModel::Find(const std::string& key) const {
    auto found = m_nodes.find(key);
    return found == m_nodes.end() ? nullptr : found->second;
}

bool CModel::Allowed(const Principal& who, const Node& node, uint32_t access) {
    uint32_t granted = 0;
    for (const std::string& sid : who.sids) {
        auto entry = node.dacl.find(sid);
        if (entry != node.dacl.end()) granted |= entry->second;
    }
    // The owner may always read and rewrite the access list, whatever the list says.
    if (who.sids.count(node.owner)) granted |= kReadControl | kWriteDac;
    return (granted & access) == access;
}

bool CModel::ShareConflict(const Node& node, uint32_t access, uint32_t share) const {
    for (const auto& [id, handle] : m_handles) {
        if (handle.node.get() != &node) continue;
        if (((access & kRead) && !(handle.share & kShareRead)) || ((access & kWrite) && !(handle.share & kShareWrite)) ||
            ((access & kDelete) && !(handle.share & kShareDelete)))
            return true;
        if (((handle.granted & kRead) && !(share & kShareRead)) || ((handle.granted & kWrite) && !(share & kShareWrite)) ||
            ((handle.granted & kDelete) && !(share & kShareDelete)))
            return true;
    }
    return false;
}

bool CModel::InUseWithoutDeleteSharing(const std::string& key) const {
    auto node = Find(key);
    for (const auto& [id, handle] : m_handles)
        if (handle.node == node && !(handle.share & kShareDelete)) return true;
    return false;
}

int CModel::Open(const Principal& who, const std::string& path, uint32_t access, uint32_t share,
                 unsigned long* error) {
    auto node = Find(Resolve(path, false));
    if (!node) {
        *error = kNotFound;
        return 0;
    }
    if ((node->running && (access & kWrite)) || !Allowed(who, *node, access)) {
        *error = kAccessDenied;
        return 0;
    }
    if (ShareConflict(*node, access, share)) {
        *error = kSharingViolation;
        return 0;
    }
    m_handles[m_next] = Handle{node, access, share};
    return m_next++;
}

int CModel::Create(const Principal& who, const std::string& path, bool folder, const Dacl* dacl, uint32_t access,
                   uint32_t share, unsigned long* error) {
    const std::string name = Key(path).substr(Key(path).rfind('\\') + 1);
    const std::string parentKey = Resolve(Parent(Key(path)), false);
    auto parent = Find(parentKey);
    if (!parent || !parent->folder) {
        *error = 3;  // ERROR_PATH_NOT_FOUND
        return 0;
    }
    const std::string key = parentKey + "\\" + name;
    if (Find(key)) {
        *error = kAlreadyExists;
        return 0;
    }
    if (!Allowed(who, *parent, kWrite)) {
        *error = kAccessDenied;
        return 0;
    }
    auto node = std::make_shared<Node>();
    node->folder = folder;
    node->owner = who.owner;
    node->dacl = dacl ? *dacl : parent->dacl;
    m_nodes[key] = node;
    // The creator's handle gets what it asked for, whatever the new list allows.
    m_handles[m_next] = Handle{node, access, share};
    return m_next++;
}

int CModel::CreateOrTruncate(const Principal& who, const std::string& path, uint32_t access, uint32_t share,
                             unsigned long* error) {
    if (!Exists(path)) return Create(who, path, false, nullptr, access, share, error);
    int handle = Open(who, path, access | kWrite, share, error);
    if (handle) m_handles[handle].node->data.clear();
    return handle;
}

void CModel::Close(int handle) { m_handles.erase(handle); }

bool CModel::Write(int handle, const std::string& data, unsigned long* error) {
    auto found = m_handles.find(handle);
    if (found == m_handles.end() || !(found->second.granted & kWrite)) {
        *error = kAccessDenied;
        return false;
    }
    found->second.node->data += data;
    return true;
}

bool CModel::Read(int handle, std::string* data, unsigned long* error) {
    auto found = m_handles.find(handle);
    if (found == m_handles.end() || !(found->second.granted & kRead)) {
        *error = kAccessDenied;
        return false;
    }
    *data = found->second.node->data;
    return true;
}

bool CModel::SetDacl(int handle, const Dacl& dacl, unsigned long* error) {
    auto found = m_handles.find(handle);
    if (found == m_handles.end() || !(found->second.granted & kWriteDac)) {
        *error = kAccessDenied;
        return false;
    }
    found->second.node->dacl = dacl;
    return true;
}

bool CModel::Rename(const Principal& who, const std::string& from, const std::string& to, unsigned long* error) {
    const std::string fromKey = Resolve(from, true);
    auto node = Find(fromKey);
    auto parent = Find(Parent(fromKey));
    const std::string toParentKey = Resolve(Parent(Key(to)), false);
    auto toParent = Find(toParentKey);
    if (!node || !parent || !toParent) {
        *error = kNotFound;
        return false;
    }
    if (!Allowed(who, *node, kDelete) && !Allowed(who, *parent, kDeleteChild)) {
        *error = kAccessDenied;
        return false;
    }
    if (!Allowed(who, *toParent, kWrite)) {
        *error = kAccessDenied;
        return false;
    }
    if (InUseWithoutDeleteSharing(fromKey)) {
        *error = kSharingViolation;
        return false;
    }
    const std::string toKey = toParentKey + "\\" + Key(to).substr(Key(to).rfind('\\') + 1);
    if (Find(toKey)) {
        *error = kAlreadyExists;
        return false;
    }
    std::map<std::string, std::shared_ptr<Node>> moved;
    for (auto it = m_nodes.begin(); it != m_nodes.end();) {
        if (it->first == fromKey || it->first.compare(0, fromKey.size() + 1, fromKey + "\\") == 0) {
            moved[toKey + it->first.substr(fromKey.size())] = it->second;
            it = m_nodes.erase(it);
        } else {
            ++it;
        }
    }
    m_nodes.insert(moved.begin(), moved.end());
    return true;
}

bool CModel::MakeJunction(const Principal& who, const std::string& path, const std::string& target,
                          unsigned long* error) {
    int handle = Create(who, path, true, nullptr, kWrite, kShareAll, error);
    if (!handle) return false;
    m_handles[handle].node->junction = target;
    Close(handle);
    return true;
}

void CModel::MarkRunning(const std::string& path) {
    if (auto node = Find(Resolve(path, false))) node->running = true;
}

std::string CModel::FinalPath(int handle) const {
    auto found = m_handles.find(handle);
    if (found == m_handles.end()) return std::string();
    for (const auto& [key, node] : m_nodes)
        if (node == found->second.node) return key;
    return std::string();
}

std::string CModel::OwnerOf(int handle) const {
    auto found = m_handles.find(handle);
    return found == m_handles.end() ? std::string() : found->second.node->owner;
}

bool CModel::Exists(const std::string& path) const { return Find(Resolve(path, false)) != nullptr; }

bool CModel::IsJunction(const std::string& path) const {
    auto node = Find(Resolve(path, true));
    return node && !node->junction.empty();
}

bool CModel::IsFolder(const std::string& path) const {
    auto node = Find(Resolve(path, false));
    return node && node->folder;
}

}  // namespace winmodel
