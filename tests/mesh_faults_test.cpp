// The mesh include when something is wrong: corners without a usable
// normal, and a part whose formatting runs out of memory on a worker.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <limits>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "app/runtime/workers.hpp"
#include "geometry/corner_normals.hpp"
#include "geometry/vertex_normals.hpp"
#include "testkit/files.hpp"
#include "tests/drawn_for_test.hpp"
#include "tests/mixed_scene.hpp"
#include "tests/reader_input.hpp"
#include "writers/common/output_file.hpp"
#include "writers/common/parts.hpp"

using namespace tessvert;

namespace {

std::string mesh_text(scene s, const drawn_for_test::choices& choices = {}) {
    testkit::temp_dir dir;
    const std::string path = (dir / "model.inc").string();
    output_file out;
    EXPECT_TRUE(open_output(out, path));
    drawn_for_test::write_mesh(vrx_language, drawn_for_test::draw(s, choices), out);
    EXPECT_TRUE(commit_output(out));
    return testkit::read_file(path);
}

// Two triangles side by side on their own vertices, 0 1 2 and 3 4 5.
scene two_triangles() {
    scene s = init_scene();
    append_object(s);
    mesh_object& o = s.objects.back();
    o.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {3, 0, 0}, {2, 1, 0}};
    o.faces = {{0, 1, 2}, {3, 4, 5}};
    return s;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

}  // namespace

TEST(MeshCorners, AFaceWithAnyCornerWithoutAFiniteNormalIsWrittenFlat) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int corner = 0; corner < 3; ++corner) {
        SCOPED_TRACE("corner " + std::string(1, static_cast<char>('a' + corner)));
        scene s = two_triangles();
        for (mesh_object& o : s.objects) compute_object_normals(o);
        // The second face's corner alone loses its normal, in one of its
        // three numbers.
        vec3& n = s.objects[0].normals[3 + static_cast<std::size_t>(corner)];
        (corner == 0 ? n.x : corner == 1 ? n.y : n.z) = corner == 1 ? inf : nan;
        const std::vector<std::string> lines = lines_of(mesh_text(s));
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[1],
                  "smooth_triangle {vertex <0.000000 0.000000 0.000000> normal <0.000000 0.000000 1.000000> "
                  "vertex <1.000000 0.000000 0.000000> normal <0.000000 0.000000 1.000000> "
                  "vertex <0.000000 1.000000 0.000000> normal <0.000000 0.000000 1.000000> }");
        EXPECT_EQ(lines[2],
                  "triangle {vertex <2.000000 0.000000 0.000000> vertex <3.000000 0.000000 0.000000> "
                  "vertex <2.000000 1.000000 0.000000> }");
    }
}

TEST(MeshCorners, ACollinearSliverWithSmoothingGroupsIsWrittenFlat) {
    // A sliver whose two corners lie on a sound face and whose third is its
    // own, each corner in turn. Of mask 0 every corner takes the sliver's
    // own normal; of mask 1 the shared corners take their vertex normals and
    // only the lone one has none.
    for (const std::uint32_t mask : {0u, 1u})
        for (int lone = 0; lone < 3; ++lone) {
            SCOPED_TRACE("mask " + std::to_string(mask) + ", lone corner " +
                         std::string(1, static_cast<char>('a' + lone)));
            scene s = init_scene();
            append_object(s);
            mesh_object& o = s.objects.back();
            o.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}};
            // Vertex 3 lies on the line of 0 and 1.
            std::uint32_t sliver[3] = {0, 1, 3};
            std::swap(sliver[2], sliver[lone]);
            o.faces = {{0, 1, 2}, {sliver[0], sliver[1], sliver[2]}};
            o.smoothing = {mask, mask};
            compute_object_normals(o);
            compute_corner_normals(o);
            const std::string text = mesh_text(s, {.smoothing = true});
            const std::vector<std::string> lines = lines_of(text);
            ASSERT_EQ(lines.size(), 3u) << text;
            EXPECT_EQ(lines[1].rfind("smooth_triangle {", 0), 0u) << text;
            EXPECT_EQ(lines[2].rfind("triangle {", 0), 0u) << text;
            EXPECT_EQ(lines[2].find("normal"), std::string::npos) << text;
            EXPECT_EQ(text.find("nan"), std::string::npos) << text;
        }
}

namespace {

// Runs `work` on a thread of its own and returns when it has; when it has
// not within a minute it waits for something that never comes, and the
// test binary ends, since those threads cannot be joined.
template <typename Work>
void within_a_minute(Work work) {
    std::packaged_task<void()> task(work);
    std::future<void> done = task.get_future();
    std::thread t(std::move(task));
    if (done.wait_for(std::chrono::seconds(60)) == std::future_status::timeout) {
        ADD_FAILURE() << "hung: the work did not end within 60 s";
        std::fflush(stdout);
        std::_Exit(1);
    }
    t.join();
    done.get();
}

}  // namespace

TEST(MeshPipeline, APartThatRunsOutOfMemoryIsFormattedAgainAloneOrEndsTheWriting) {
    reader_input::loaded l = reader_input::load_with(mixed::scene_bytes(), run_options{});
    ASSERT_EQ(l.result, 1) << l.out;
    const drawn_scene d = drawn_for_test::draw(l.scene);
    const std::string whole = mesh_text(l.scene);
    // One worker and six: what --threads 2 and 7 give.
    for (const std::size_t workers : {1u, 6u}) {
        worker_pool pool;
        start_workers(pool, workers);
        ASSERT_EQ(pool.threads.size(), workers);
        const thread_runner runner{workers, [&](const std::function<void()>& work, const std::function<void()>& own) {
                                       run_on_workers(pool, work, own);
                                   }};
        const auto w = vrx_language.prepare(d, {"model", "model.vrx", "model.inc"});
        const std::size_t parts = w->cut_mesh(workers + 1);
        // Many parts on either pool; the first, one in the middle (the
        // window of parts in flight has moved by then), and the last fail.
        ASSERT_GT(parts, 2 * (workers + 2));
        for (const std::size_t failing : {std::size_t{0}, parts / 2, parts - 1}) {
            SCOPED_TRACE(std::to_string(workers) + " workers, part " + std::to_string(failing) + " of " +
                         std::to_string(parts));
            for (const bool every_time : {true, false}) {
                SCOPED_TRACE(every_time ? "failing every time" : "failing once");
                testkit::temp_dir dir;
                const std::string path = (dir / "model.inc").string();
                { std::ofstream(path) << "older text"; }
                std::atomic<int> failures{0}, tries{0};
                std::thread::id retried_on;
                // The part fails every time it is formatted (or the first
                // time only), whichever thread does it.
                const part_format format = [&](std::size_t k, std::size_t thread, text_block& text) {
                    if (k == failing) {
                        if (++tries > 1) retried_on = std::this_thread::get_id();
                        if (every_time || tries == 1) {
                            ++failures;
                            throw std::bad_alloc();
                        }
                    }
                    w->format_mesh_part(k, thread, text);
                };
                std::thread::id caller;
                within_a_minute([&] {
                    caller = std::this_thread::get_id();
                    output_file out;
                    ASSERT_TRUE(open_output(out, path));
                    if (every_time) {
                        EXPECT_THROW(write_parts_on_workers(out, parts, format, runner), std::bad_alloc);
                    } else {
                        // Once a part runs out of memory, the rest is
                        // formatted on the calling thread alone.
                        write_parts_on_workers(out, parts, format, runner);
                        EXPECT_TRUE(commit_output(out));
                    }
                });
                EXPECT_GE(failures.load(), 1);
                EXPECT_EQ(testkit::list_files(dir.path), std::vector<std::string>{"model.inc"});
                // Tried again once, on the calling thread.
                EXPECT_EQ(tries.load(), 2);
                EXPECT_EQ(retried_on, caller);
                EXPECT_TRUE(testkit::read_file(path) == (every_time ? "older text" : whole));
            }
        }
    }
}
