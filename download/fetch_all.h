// Several downloads at once, for a picture that comes in many files (tiles): a few run
// side by side, each with a cancel token of its own that the caller's token stops.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "download/cancel_token.h"
#include "download/fetch.h"
#include "platform/files.h"

namespace tessaren {

// How many requests to one server run at a time: what browsers allow themselves per
// server, less two, so that a grid of tiles does not crowd out its own server.
inline constexpr int kParallelFetches = 4;
// The most requests Tessaren has under way at once: the two pictures of a set that
// download side by side (update/update_job.cpp), each a grid of tiles.
inline constexpr unsigned kMostRequestsAtOnce = 2 * kParallelFetches;

struct FetchJob {
  FetchRequest request;
  OutputFile* body = nullptr;
};

// Runs the jobs in order, at most `parallel` at a time, each with its own body. After
// each one ends, goOn(index, result) says whether to start more (it is called one at a
// time); a stop of cancel does the same and stops those under way. Returns every job's
// result, nothing for the jobs never started.
std::vector<std::optional<FetchResult>> fetchAll(
    Fetcher& fetcher, const std::vector<FetchJob>& jobs, CancelToken& cancel,
    const std::function<bool(std::size_t index, const FetchResult& result)>& goOn,
    int parallel = kParallelFetches);

}  // namespace tessaren
