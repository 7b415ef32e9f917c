// gumbo's HTML5 tree of a page or of the HTML inside a feed item, parsed within a time and
// memory budget. gumbo needs time in proportion to the page's size times its nesting
// (a few MB of unclosed <div> would keep it busy for an hour) and frees its tree
// recursively, so its allocations come from an arena of ours: the arena stops the parse
// when the budget runs out and frees the whole tree at once.
#pragma once

#include <gumbo.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace tessaren {

struct HtmlLimits {
  // A 4 MiB page parses in well under a second.
  std::chrono::milliseconds time{5000};
  std::size_t memoryBytes = std::size_t{256} << 20;
};

struct HtmlArena;

class HtmlTree {
 public:
  explicit HtmlTree(std::string_view html, const HtmlLimits& limits = {});
  ~HtmlTree();
  HtmlTree(const HtmlTree&) = delete;
  HtmlTree& operator=(const HtmlTree&) = delete;

  // The document node; nullptr when the parse went over the limits.
  const GumboNode* document() const { return document_; }

 private:
  std::unique_ptr<HtmlArena> arena_;
  const GumboNode* document_ = nullptr;
};

// Each element in document order, without recursion, until visit returns false.
void forEachElement(const GumboNode* root, const std::function<bool(const GumboNode&)>& visit);

// The value of an element's attribute (names in lower case), nullptr when it has none.
const char* attributeOf(const GumboNode& element, const char* name);

// The src of each <img> in document order, at most `most` of them.
std::vector<std::string_view> imageSources(const HtmlTree& tree, std::size_t most);

}  // namespace tessaren
