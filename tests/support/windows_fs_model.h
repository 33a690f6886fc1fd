#pragma once
// A small model of the Windows file-system rules that Wine does not enforce, so that native
// tests can replay an attack at the moment it would happen and see the system say no:
//  - an open checks the access list (or ownership) once; the handle keeps what it was granted,
//    whatever the list says later;
//  - the owner may always read and rewrite the access list;
//  - deleting or renaming needs DELETE on the object or DELETE_CHILD on its folder;
//  - an open, a delete or a rename that conflicts with the sharing of open handles fails;
//  - a junction (or an object-manager link reached through one) at any component of a path
//    sends the rest of the path to its target; only a create of the last component that asks
//    not to follow it stops there;
//  - a running program's file may be renamed (the loader shares delete) but not written.
// Paths are compared without case; "\" separates components.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace winmodel {

// Access rights, as far as the model needs them.
constexpr uint32_t kRead = 0x1;
constexpr uint32_t kWrite = 0x2;          // a file's data; a folder: add files and subfolders
constexpr uint32_t kExecute = 0x4;
constexpr uint32_t kDelete = 0x8;
constexpr uint32_t kDeleteChild = 0x10;
constexpr uint32_t kWriteDac = 0x20;
constexpr uint32_t kReadControl = 0x40;
constexpr uint32_t kAll = 0x7F;
constexpr uint32_t kReadExecute = kRead | kExecute | kReadControl;

constexpr uint32_t kShareRead = 1, kShareWrite = 2, kShareDelete = 4;
constexpr uint32_t kShareAll = kShareRead | kShareWrite | kShareDelete;

constexpr char kSystem[] = "S-1-5-18";
constexpr char kAdministrators[] = "S-1-5-32-544";
constexpr char kUsers[] = "S-1-5-32-545";
constexpr char kTheUser[] = "S-1-5-21-1-2-3-1001";

using Dacl = std::map<std::string, uint32_t>;  // SID -> rights allowed

// Who acts: the groups of its token, and the owner it gives what it creates.
struct Principal {
    std::set<std::string> sids;
    std::string owner;
};
// The user unelevated (Administrators is deny-only in that token), and the same account elevated.
Principal TheUser();
Principal ElevatedAdmin();

// What the model answers besides success: the Windows error codes.
constexpr unsigned long kAccessDenied = 5, kSharingViolation = 32, kAlreadyExists = 183, kNotFound = 2;

class CModel {
public:
    CModel();
    // Folders as Windows sets them up: C:\Windows (admin only), C:\Windows\Temp (users may add),
    // the user's profile and temporary folder, C:\work and C:\dl owned by the user.
    void AddFolder(const std::string& path, const std::string& owner, const Dacl& dacl);
    void AddFile(const std::string& path, const std::string& owner, const Dacl& dacl, const std::string& data);

    // Opens an existing object; 0 with *error on failure.
    int Open(const Principal& who, const std::string& path, uint32_t access, uint32_t share, unsigned long* error);
    // Creates a new object (fails when the name exists) with `dacl`, or with its folder's when
    // `dacl` is null, and opens it. A junction as the last component is not followed.
    int Create(const Principal& who, const std::string& path, bool folder, const Dacl* dacl, uint32_t access,
               uint32_t share, unsigned long* error);
    // Creates the file or replaces its data, as CREATE_ALWAYS does.
    int CreateOrTruncate(const Principal& who, const std::string& path, uint32_t access, uint32_t share,
                         unsigned long* error);
    void Close(int handle);

    bool Write(int handle, const std::string& data, unsigned long* error);
    bool Read(int handle, std::string* data, unsigned long* error);
    bool SetDacl(int handle, const Dacl& dacl, unsigned long* error);
    bool Rename(const Principal& who, const std::string& from, const std::string& to, unsigned long* error);
    // Makes `path` a new junction to `target` (the maker needs to add to its folder).
    bool MakeJunction(const Principal& who, const std::string& path, const std::string& target, unsigned long* error);
    // Marks a file as a running program's image: renamable, never writable.
    void MarkRunning(const std::string& path);

    // The path the handle's object has now, links resolved.
    std::string FinalPath(int handle) const;
    std::string OwnerOf(int handle) const;
    bool Exists(const std::string& path) const;
    bool IsJunction(const std::string& path) const;  // the last component, not followed
    bool IsFolder(const std::string& path) const;

private:
    struct Node {
        bool folder = false;
        std::string owner;
        Dacl dacl;
        std::string data;
        std::string junction;  // target path when this is a link
        bool running = false;
    };
    struct Handle {
        std::shared_ptr<Node> node;
        uint32_t granted;
        uint32_t share;
    };
    static std::string Key(const std::string& path);
    static std::string Parent(const std::string& key);
    // The object `path` names, every link on the way (and at its end unless `openLink`) followed.
    std::string Resolve(const std::string& path, bool openLink) const;
    std::shared_ptr<Node> Find(const std::string& key) const;
    static bool Allowed(const Principal& who, const Node& node, uint32_t access);
    bool ShareConflict(const Node& node, uint32_t access, uint32_t share) const;
    bool InUseWithoutDeleteSharing(const std::string& key) const;

    std::map<std::string, std::shared_ptr<Node>> m_nodes;  // by resolved lower-case path
    std::map<int, Handle> m_handles;
    int m_next = 1;
};

}  // namespace winmodel
