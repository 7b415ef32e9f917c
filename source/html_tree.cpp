// The arena behind HtmlTree, and walks over gumbo's tree.
#include "source/html_tree.h"

#include <csetjmp>
#include <cstdlib>
#include <utility>

namespace tessaren {

// Every block gumbo holds, in one circular list, so that all of them go at once.
struct HtmlArena {
  struct Block {
    Block* previous;
    Block* next;
    std::size_t size;
  };
  // Rounded up so that what follows the header keeps malloc's alignment.
  static constexpr std::size_t kHeader = (sizeof(Block) + alignof(std::max_align_t) - 1) /
                                         alignof(std::max_align_t) * alignof(std::max_align_t);

  HtmlArena() { blocks.previous = blocks.next = &blocks; }
  ~HtmlArena() {
    for (Block* block = blocks.next; block != &blocks;)
      std::free(std::exchange(block, block->next));
  }
  HtmlArena(const HtmlArena&) = delete;
  HtmlArena& operator=(const HtmlArena&) = delete;

  Block blocks{};
  std::size_t liveBytes = 0;
  std::size_t memoryLimit = 0;
  std::chrono::steady_clock::time_point deadline;
  unsigned allocations = 0;
  std::jmp_buf overLimits;
};

namespace {

// Called from inside gumbo: on the way out over the limits it holds nothing to destroy.
void* arenaAllocate(void* userdata, std::size_t size) {
  HtmlArena& arena = *static_cast<HtmlArena*>(userdata);
  // gumbo spends its time between allocations scanning its stack of open elements, so a
  // look at the clock every few allocations is often enough.
  if (size > arena.memoryLimit - arena.liveBytes ||
      (++arena.allocations % 16 == 0 && std::chrono::steady_clock::now() > arena.deadline))
    std::longjmp(arena.overLimits, 1);
  auto* block = static_cast<HtmlArena::Block*>(std::malloc(HtmlArena::kHeader + size));
  if (block == nullptr) std::longjmp(arena.overLimits, 1);
  block->size = size;
  block->previous = &arena.blocks;
  block->next = arena.blocks.next;
  block->next->previous = block;
  arena.blocks.next = block;
  arena.liveBytes += size;
  return reinterpret_cast<char*>(block) + HtmlArena::kHeader;
}

void arenaFree(void* userdata, void* pointer) {
  if (pointer == nullptr) return;
  HtmlArena& arena = *static_cast<HtmlArena*>(userdata);
  auto* block =
      reinterpret_cast<HtmlArena::Block*>(static_cast<char*>(pointer) - HtmlArena::kHeader);
  block->previous->next = block->next;
  block->next->previous = block->previous;
  arena.liveBytes -= block->size;
  std::free(block);
}

// Owns no C++ object, so that the arena's longjmp back here skips no destructor.
GumboOutput* parseInArena(HtmlArena* arena, const GumboOptions* options, const char* html,
                          std::size_t size) {
  if (setjmp(arena->overLimits) != 0) return nullptr;
  return gumbo_parse_with_options(options, html, size);
}

}  // namespace

HtmlTree::HtmlTree(std::string_view html, const HtmlLimits& limits)
    : arena_(std::make_unique<HtmlArena>()) {
  arena_->memoryLimit = limits.memoryBytes;
  arena_->deadline = std::chrono::steady_clock::now() + limits.time;
  GumboOptions options = kGumboDefaultOptions;
  options.allocator = arenaAllocate;
  options.deallocator = arenaFree;
  options.userdata = arena_.get();
  // Each recorded parse error copies the stack of open elements: quadratic memory on
  // a page of unclosed tags, and we never read them.
  options.max_errors = 0;
  const GumboOutput* output =
      parseInArena(arena_.get(), &options, html.empty() ? "" : html.data(), html.size());
  if (output != nullptr) document_ = output->document;
}

// gumbo_destroy_output would walk the tree recursively; the arena frees it flat.
HtmlTree::~HtmlTree() = default;

void forEachElement(const GumboNode* root, const std::function<bool(const GumboNode&)>& visit) {
  std::vector<const GumboNode*> pending;
  if (root != nullptr) pending.push_back(root);
  while (!pending.empty()) {
    const GumboNode* node = pending.back();
    pending.pop_back();
    const GumboVector* children = nullptr;
    if (node->type == GUMBO_NODE_DOCUMENT) {
      children = &node->v.document.children;
    } else if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
      if (!visit(*node)) return;
      children = &node->v.element.children;
    }
    if (children == nullptr) continue;
    for (unsigned i = children->length; i-- > 0;)
      pending.push_back(static_cast<const GumboNode*>(children->data[i]));
  }
}

const char* attributeOf(const GumboNode& element, const char* name) {
  const GumboAttribute* attribute = gumbo_get_attribute(&element.v.element.attributes, name);
  return attribute == nullptr ? nullptr : attribute->value;
}

std::vector<std::string_view> imageSources(const HtmlTree& tree, std::size_t most) {
  std::vector<std::string_view> sources;
  forEachElement(tree.document(), [&](const GumboNode& element) {
    const char* source =
        element.v.element.tag == GUMBO_TAG_IMG ? attributeOf(element, "src") : nullptr;
    if (source != nullptr && *source != '\0') sources.emplace_back(source);
    return sources.size() < most;
  });
  return sources;
}

}  // namespace tessaren
