#ifndef NKKIVO_FUZZ_HOSTMODEL_H
#define NKKIVO_FUZZ_HOSTMODEL_H

#include "nkKivo.h"

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <unordered_set>
#include <vector>

// What a well-behaved host knows about its handles, so that a generated call
// sequence never touches a destroyed object:
//   - tops_: the top tags the host owns (created, cloned, or taken with a
//     detach flag, or left behind by a deleted parser);
//   - the trees in the parsers' root slots, owned by the parsers;
//   - live_: every tag reachable from either, rebuilt after each call.
// A handle kept in a slot that is no longer live is cleared, which is how a
// destroyed subtree, a failed parse or a cleared child list retires handles.
class HostModel {
  public:
    static constexpr std::size_t kTagSlots = 8;
    static constexpr std::size_t kParserSlots = 2;

    HostModel() = default;
    ~HostModel();
    HostModel(const HostModel&) = delete;
    HostModel& operator=(const HostModel&) = delete;
    HostModel(HostModel&&) = delete;
    HostModel& operator=(HostModel&&) = delete;

    KivoTagHandle Tag(std::size_t slot) const { return tags_[slot % kTagSlots]; }
    void SetTag(std::size_t slot, KivoTagHandle tag) { tags_[slot % kTagSlots] = tag; }
    KivoParserHandle Parser(std::size_t slot) const { return parsers_[slot % kParserSlots]; }
    void SetParser(std::size_t slot, KivoParserHandle parser);
    // Deletes the parser in the slot, first taking over the tree it still
    // holds: the host that read it without detaching now answers for it.
    void DeleteParser(std::size_t slot);

    void AdoptTop(KivoTagHandle tag);
    void ForgetTop(KivoTagHandle tag);
    bool OwnsTop(KivoTagHandle tag) const;
    bool IsParserRoot(KivoTagHandle tag) const;

    // The trees holding the given tags, as one string, to prove that a
    // refused call changed nothing there.
    static std::string Snapshot(std::initializer_list<KivoTagHandle> tags);
    // Checks every reachable tree and retires the handles that died.
    void Refresh();
    std::size_t LiveCount() const { return live_.size(); }

  private:
    std::vector<KivoTagHandle> AllTops() const;
    void CheckTree(KivoTagHandle top);
    static void CheckTag(KivoTagHandle tag);

    std::array<KivoTagHandle, kTagSlots> tags_{};
    std::array<KivoParserHandle, kParserSlots> parsers_{};
    std::vector<KivoTagHandle> tops_;
    std::unordered_set<KivoTagHandle> live_;
};

#endif
