// The arena behind HtmlTree, the budget it draws on, and walks over gumbo's tree.
#include "source/html_tree.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/text.h"
#include "source/finders.h"

namespace tessaren {
namespace {

// What the heap sets aside for a block of `request` bytes at block. The budget counts
// this rather than what gumbo asked for: most of gumbo's blocks are a few dozen bytes,
// and a page of small elements would otherwise take twice its budget.
std::size_t heapCost([[maybe_unused]] void* block, [[maybe_unused]] std::size_t request) {
#if defined(__GLIBC__)
  // Whatever malloc is linked in says what it handed out; glibc keeps a size word in
  // front of each block.
  return malloc_usable_size(block) + sizeof(std::size_t);
#else
  // The Windows heap hands out multiples of 16 bytes behind a 16-byte header.
  return (request + 15) / 16 * 16 + 16;
#endif
}

}  // namespace

HtmlBudget::HtmlBudget(const HtmlLimits& limits, const std::atomic<bool>* stop)
    : limits_(limits), stop_(stop), deadline_(std::chrono::steady_clock::now() + limits.time) {}

// Every block gumbo holds, in one circular list, so that all of them go at once.
struct HtmlArena {
  struct Block {
    Block* previous;
    Block* next;
    std::size_t cost;
  };
  // Rounded up so that what follows the header keeps malloc's alignment.
  static constexpr std::size_t kHeader = (sizeof(Block) + alignof(std::max_align_t) - 1) /
                                         alignof(std::max_align_t) * alignof(std::max_align_t);

  explicit HtmlArena(HtmlBudget& budget) : budget(budget) {
    blocks.previous = blocks.next = &blocks;
  }
  ~HtmlArena() {
    for (Block* block = blocks.next; block != &blocks;)
      std::free(std::exchange(block, block->next));
    budget.heldBytes_ -= held;
  }
  HtmlArena(const HtmlArena&) = delete;
  HtmlArena& operator=(const HtmlArena&) = delete;

  // Why a parse may not start, or nullopt.
  std::optional<HtmlParse> refusal() const {
    if (budget.stopRaised()) return HtmlParse::Stopped;
    if (budget.spent_ || std::chrono::steady_clock::now() > budget.deadline_)
      return HtmlParse::OverBudget;
    return std::nullopt;
  }

  // Called from inside gumbo: on the way out it holds nothing to destroy.
  void* allocate(std::size_t size) {
    // gumbo spends its time between allocations scanning its stack of open elements, so a
    // look at the clock and the flag every few allocations is often enough.
    if (++allocations % 16 == 0) {
      if (budget.stopRaised()) leave(HtmlParse::Stopped);
      if (std::chrono::steady_clock::now() > budget.deadline_) leave(HtmlParse::OverBudget);
    }
    const std::size_t room = budget.limits_.memoryBytes - budget.heldBytes_;
    if (size >= room) leave(HtmlParse::OverBudget);
    auto* block = static_cast<Block*>(std::malloc(kHeader + size));
    if (block == nullptr) leave(HtmlParse::OverBudget);
    const std::size_t cost = heapCost(block, kHeader + size);
    if (cost > room) {
      std::free(block);
      leave(HtmlParse::OverBudget);
    }
    block->cost = cost;
    block->previous = &blocks;
    block->next = blocks.next;
    block->next->previous = block;
    blocks.next = block;
    held += cost;
    budget.heldBytes_ += cost;
    return reinterpret_cast<char*>(block) + kHeader;
  }

  void release(void* pointer) {
    if (pointer == nullptr) return;
    auto* block = reinterpret_cast<Block*>(static_cast<char*>(pointer) - kHeader);
    block->previous->next = block->next;
    block->next->previous = block->previous;
    held -= block->cost;
    budget.heldBytes_ -= block->cost;
    std::free(block);
  }

  [[noreturn]] void leave(HtmlParse why) {
    outcome = why;
    if (why == HtmlParse::OverBudget) budget.spent_ = true;
    std::longjmp(overLimits, 1);
  }

  HtmlBudget& budget;
  Block blocks{};
  std::size_t held = 0;  // this tree's part of budget.heldBytes_
  unsigned allocations = 0;
  HtmlParse outcome = HtmlParse::Parsed;
  std::jmp_buf overLimits;
};

namespace {

void* arenaAllocate(void* userdata, std::size_t size) {
  return static_cast<HtmlArena*>(userdata)->allocate(size);
}

void arenaFree(void* userdata, void* pointer) {
  static_cast<HtmlArena*>(userdata)->release(pointer);
}

// Owns no C++ object, so that the arena's longjmp back here skips no destructor.
GumboOutput* parseInArena(HtmlArena* arena, const GumboOptions* options, const char* html,
                          std::size_t size) {
  if (setjmp(arena->overLimits) != 0) return nullptr;
  return gumbo_parse_with_options(options, html, size);
}

}  // namespace

HtmlTree::HtmlTree(std::string_view html, HtmlBudget& budget) { parse(html, budget); }

HtmlTree::HtmlTree(std::string_view html, const HtmlLimits& limits)
    : ownBudget_(std::make_unique<HtmlBudget>(limits)) {
  parse(html, *ownBudget_);
}

void HtmlTree::parse(std::string_view html, HtmlBudget& budget) {
  arena_ = std::make_unique<HtmlArena>(budget);
  if (const std::optional<HtmlParse> refused = arena_->refusal()) {
    outcome_ = *refused;
    return;
  }
  GumboOptions options = kGumboDefaultOptions;
  options.allocator = arenaAllocate;
  options.deallocator = arenaFree;
  options.userdata = arena_.get();
  // Each recorded parse error copies the stack of open elements: quadratic memory on
  // a page of unclosed tags, and we never read them.
  options.max_errors = 0;
  const GumboOutput* output =
      parseInArena(arena_.get(), &options, html.empty() ? "" : html.data(), html.size());
  if (output != nullptr) {
    document_ = output->document;
    return;
  }
  // What the parse held goes back to the document's budget at once.
  outcome_ = arena_->outcome;
  arena_.reset();
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

namespace {

bool isTag(const GumboNode& node, GumboTag tag) {
  return node.type == GUMBO_NODE_ELEMENT && node.v.element.tag == tag;
}

// Where a page's content is: its first <main>, else its first <article>, else all of it.
const GumboNode* contentRoot(const GumboNode* document) {
  const GumboNode* main = nullptr;
  const GumboNode* article = nullptr;
  forEachElement(document, [&](const GumboNode& element) {
    const char* role = attributeOf(element, "role");
    if (isTag(element, GUMBO_TAG_MAIN) || (role != nullptr && equalsIgnoringCase(role, "main"))) {
      main = &element;
      return false;
    }
    if (article == nullptr && isTag(element, GUMBO_TAG_ARTICLE)) article = &element;
    return true;
  });
  return main != nullptr ? main : article != nullptr ? article : document;
}

// An attribute's value without the blanks around it; empty when there is no attribute.
std::string_view trimmedView(const char* value) {
  std::string_view text = value != nullptr ? value : "";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool isImageType(const char* type) {
  return type != nullptr && startsWithIgnoringCase(type, "image/") && std::strlen(type) > 6;
}

}  // namespace

std::vector<HtmlPicture> mainPictures(const HtmlTree& tree, std::size_t most) {
  // A page of a million small icons nested deep would cost its size times its depth.
  constexpr std::size_t kMostImagesLookedAt = 256;
  std::vector<HtmlPicture> pictures;
  if (tree.document() == nullptr || most == 0) return pictures;
  const GumboNode* root = contentRoot(tree.document());
  std::size_t lookedAt = 0;
  forEachElement(root, [&](const GumboNode& element) {
    if (!isTag(element, GUMBO_TAG_IMG)) return true;
    std::string_view source = trimmedView(attributeOf(element, "src"));
    if (source.empty() || startsWithIgnoringCase(source, "data:"))
      source = trimmedView(attributeOf(element, "data-src"));
    const char* width = attributeOf(element, "width");
    const char* height = attributeOf(element, "height");
    if (source.empty() || startsWithIgnoringCase(source, "data:") ||
        isTinyBySize(width != nullptr ? width : "", height != nullptr ? height : "") ||
        isNamedLikeDecoration(source))
      return ++lookedAt < kMostImagesLookedAt;
    HtmlPicture picture{source, {}, width != nullptr || height != nullptr};
    for (const GumboNode* node = element.parent; node != nullptr && node != root;
         node = node->parent) {
      if (isTag(*node, GUMBO_TAG_HEADER) || isTag(*node, GUMBO_TAG_NAV) ||
          isTag(*node, GUMBO_TAG_FOOTER) || isTag(*node, GUMBO_TAG_ASIDE))
        return ++lookedAt < kMostImagesLookedAt;
      if (isTag(*node, GUMBO_TAG_A) && picture.link.empty()) {
        const std::string_view href = trimmedView(attributeOf(*node, "href"));
        picture.sizedOrLinked = picture.sizedOrLinked || !href.empty();
        if (!href.empty() &&
            (looksLikePictureFile(href) || isImageType(attributeOf(*node, "type"))))
          picture.link = href;
      }
    }
    pictures.push_back(picture);
    return pictures.size() < most && ++lookedAt < kMostImagesLookedAt;
  });
  return pictures;
}

}  // namespace tessaren
