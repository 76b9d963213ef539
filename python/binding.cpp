// _vrim: the tool's library (tools/vrim/library/vrim.h) for Python. The
// package's own Python side (vrim/__init__.py) gives it its public names,
// docstrings, argument checks and exception classes; this file only hands
// values across and lets go of the interpreter while the module works.
#include "tools/vrim/library/vrim.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>

namespace py = pybind11;
using namespace vrim::library;

namespace {

// A contiguous buffer of doubles handed in by Python (array.array('d'), a
// NumPy array of float64); the package has checked its shape already, this
// only refuses what would be read wrong.
const double* doubles(const py::buffer_info& info, const char* what, std::size_t& count) {
    if (info.itemsize != sizeof(double) || info.format != py::format_descriptor<double>::format()) {
        throw py::type_error(std::string(what) + " must hold 64-bit floats");
    }
    if (info.ndim > 2 ||
        (info.ndim >= 1 && info.strides.back() != static_cast<py::ssize_t>(sizeof(double)))) {
        throw py::type_error(std::string(what) + " must be contiguous");
    }
    count = static_cast<std::size_t>(info.size);
    return static_cast<const double*>(info.ptr);
}

// The exception a signal's handler raised while the library worked on this
// thread (Ctrl-C's KeyboardInterrupt, or a script's own, say a timeout),
// raised as it is once the call has unwound.
thread_local std::unique_ptr<py::error_already_set> raisedBySignal;

const char* kindName(Failure::Kind kind) {
    static const char* const names[] = {"module", "scene", "item",  "edit",
                                        "usage",  "write", "stale", "interrupted"};
    return names[static_cast<int>(kind)];
}

// Failures become one Python exception carrying the kind, the scene, item
// and action, and the action's place in the request; the package turns it
// into its own classes.
void translateFailures(py::module_& m) {
    static py::exception<Failure> failure(m, "Failure");
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const Failure& e) {
            if (e.kind == Failure::Kind::Interrupted && raisedBySignal) {
                const std::unique_ptr<py::error_already_set> raised = std::move(raisedBySignal);
                raised->restore();
                return;
            }
            const py::object type = py::reinterpret_borrow<py::object>(failure.ptr());
            const py::object error =
                type(py::make_tuple(e.what(), kindName(e.kind), e.scene, e.item, e.action,
                                    e.unasked, static_cast<py::ssize_t>(e.actionIndex)));
            PyErr_SetObject(failure.ptr(), error.ptr());
        }
    });
}

// A scene's header and findings, and its items, each made from the
// scene's compact table when asked for: a scene of hundreds of thousands of
// items holds no object for each.
void bindSceneData(py::module_& m) {
    py::class_<Scene>(m, "SceneData")
        .def_readonly("path", &Scene::path)
        .def_readonly("fps", &Scene::fps)
        .def_readonly("first_frame", &Scene::firstFrame)
        .def_readonly("last_frame", &Scene::lastFrame)
        .def_readonly("frame_step", &Scene::frameStep)
        .def_property_readonly("item_count", [](const Scene& scene) { return scene.items.size(); })
        // An index past the end is std::out_of_range: IndexError.
        .def(
            "item", [](const Scene& scene, std::size_t index) { return scene.items.at(index); },
            py::arg("index"))
        .def(
            "items",
            [](const Scene& scene, std::size_t first, std::size_t count) {
                return scene.items.range(first, count);
            },
            py::arg("first"), py::arg("count"))
        .def(
            "find_item",
            [](const Scene& scene, const std::string& name) { return scene.items.find(name); },
            py::arg("name"))
        .def(
            "find_block",
            [](const Scene& scene, std::size_t number) { return scene.items.findBlock(number); },
            py::arg("number"))
        .def_readonly("findings", &Scene::findings)
        .def_readonly("errors", &Scene::errors)
        .def_readonly("warnings", &Scene::warnings);
}

// What a scene holds, read-only: the package copies it into its own frozen
// objects.
void bindScenes(py::module_& m) {
    py::class_<Key>(m, "KeyData")
        .def_readonly("start", &Key::start)
        .def_readonly("end", &Key::end)
        .def_readonly("period", &Key::period)
        .def_readonly("width", &Key::width)
        .def_readonly("fall_off", &Key::fallOff);
    py::class_<Finding>(m, "FindingData")
        .def_readonly("severity", &Finding::severity)
        .def_readonly("kind", &Finding::kind)
        .def_readonly("line", &Finding::line)
        .def_readonly("key", &Finding::key)
        .def_readonly("message", &Finding::message);
    py::class_<Item>(m, "ItemData")
        .def_readonly("name", &Item::name)
        .def_readonly("block", &Item::block)
        .def_readonly("kind", &Item::kind)
        .def_readonly("first_line", &Item::firstLine)
        .def_readonly("last_line", &Item::lastLine)
        .def_readonly("key_count", &Item::keyCount)
        .def_readonly("errors", &Item::errors)
        .def_readonly("warnings", &Item::warnings);
    bindSceneData(m);
    py::class_<ItemStream>(m, "ItemStreamData")
        .def_property_readonly("scene", &ItemStream::scene,
                               py::return_value_policy::reference_internal);
}

void bindCheck(py::module_& m) {
    py::class_<SceneFinding>(m, "SceneFindingData")
        .def_readonly("scene", &SceneFinding::scene)
        .def_readonly("item", &SceneFinding::item)
        .def_readonly("block", &SceneFinding::block)
        .def_readonly("finding", &SceneFinding::finding);
    py::class_<CheckedFile>(m, "CheckedFileData")
        .def_readonly("path", &CheckedFile::path)
        .def_readonly("blocks", &CheckedFile::blocks)
        .def_readonly("keys", &CheckedFile::keys)
        .def_readonly("errors", &CheckedFile::errors)
        .def_readonly("warnings", &CheckedFile::warnings)
        .def_readonly("no_shake", &CheckedFile::noShake)
        .def_readonly("error", &CheckedFile::error);
    py::class_<CheckResult>(m, "CheckResultData")
        .def_readonly("files", &CheckResult::files)
        .def_readonly("findings", &CheckResult::findings)
        .def_readonly("blocks", &CheckResult::blocks)
        .def_readonly("keys", &CheckResult::keys)
        .def_readonly("errors", &CheckResult::errors)
        .def_readonly("warnings", &CheckResult::warnings)
        .def_readonly("status", &CheckResult::status);
}

void bindEditsAndReports(py::module_& m) {
    py::class_<EditResult>(m, "EditResultData")
        .def_readonly("edited", &EditResult::edited)
        .def_readonly("unchanged", &EditResult::unchanged)
        .def_readonly("written", &EditResult::written)
        .def_readonly("diff", &EditResult::diff)
        .def_readonly("notes", &EditResult::notes)
        .def_readonly("unasked", &EditResult::unasked)
        .def_readonly("changes", &EditResult::changes);
    py::class_<Change>(m, "ChangeData")
        .def_readonly("item", &Change::item)
        .def_readonly("block", &Change::block)
        .def_readonly("kind", &Change::kind)
        .def_readonly("key", &Change::key)
        .def_readonly("was", &Change::was)
        .def_readonly("field", &Change::field)
        .def_readonly("before", &Change::before)
        .def_readonly("after", &Change::after)
        .def_readonly("asked", &Change::asked);
    py::class_<ReportScene>(m, "ReportSceneData")
        .def_readonly("path", &ReportScene::path)
        .def_readonly("blocks", &ReportScene::blocks)
        .def_readonly("plotted", &ReportScene::plotted)
        .def_readonly("listed", &ReportScene::listed)
        .def_readonly("unlisted", &ReportScene::unlisted)
        .def_readonly("errors", &ReportScene::errors)
        .def_readonly("warnings", &ReportScene::warnings)
        .def_readonly("error", &ReportScene::error);
    py::class_<ReportResult>(m, "ReportResultData")
        .def_readonly("page", &ReportResult::page)
        .def_readonly("bytes", &ReportResult::bytes)
        .def_readonly("items", &ReportResult::items)
        .def_readonly("plotted", &ReportResult::plotted)
        .def_readonly("errors", &ReportResult::errors)
        .def_readonly("warnings", &ReportResult::warnings)
        .def_readonly("scenes", &ReportResult::scenes);
}

// Ctrl-C while the library works: Python's handler only notes the signal,
// so the library asks here (every few milliseconds at most), taking the
// interpreter back a moment. Whatever a handler raised ends the call and is
// raised again as it was.
bool signalled() {
    py::gil_scoped_acquire held;
    if (PyErr_CheckSignals() != 0) {
        raisedBySignal = std::make_unique<py::error_already_set>();
        return true;
    }
    return false;
}

// Rows written straight into a caller's buffer of count x 5 doubles: no
// Python object per sample.
void evaluateInto(Library& library, const Scene& scene, const Item& item, const py::buffer& frames,
                  double fps, const py::object& rest, const py::buffer& out, bool times) {
    const py::buffer_info in = frames.request();
    py::buffer_info rows = out.request(true);
    std::size_t count = 0, room = 0, rests = 0;
    const double* first = doubles(in, "frames", count);
    double* target = const_cast<double*>(doubles(rows, "out", room));
    if (room != count * 5) {
        throw py::value_error("out must hold 5 numbers per frame");
    }
    const double* still = nullptr;
    py::buffer_info base;
    if (!rest.is_none()) {
        base = rest.cast<py::buffer>().request();
        still = doubles(base, "rest", rests);
        if (rests != count * 3) {
            throw py::value_error("rest must hold 3 numbers per frame");
        }
    }
    py::gil_scoped_release unlocked;
    library.evaluateInto(scene, item, first, count, fps, still, target, times);
}

ReportResult report(Library& library, const std::vector<std::string>& paths,
                    const std::string& page, const std::string& title, bool recursive,
                    const std::string& item, std::size_t block, std::optional<double> fps,
                    std::optional<std::pair<std::int32_t, std::int32_t>> frames,
                    std::size_t plots) {
    ReportRequest request;
    request.title = title;
    request.recursive = recursive;
    request.item = item;
    request.block = block;
    request.fps = fps;
    request.frames = frames;
    request.plots = plots;
    return library.report(paths, page, request);
}

EditResult edit(Library& library, const std::string& path, const py::dict& given,
                const std::vector<std::pair<std::string, std::string>>& actions) {
    EditRequest request;
    request.items = given["items"].cast<std::vector<std::string>>();
    request.blocks = given["blocks"].cast<std::vector<std::size_t>>();
    request.allItems = given["all_items"].cast<bool>();
    for (const auto& [option, value] : actions) {
        request.actions.push_back({option, value});
    }
    request.dryRun = given["dry_run"].cast<bool>();
    request.backup = given["backup"].cast<bool>();
    request.overwriteBackup = given["overwrite_backup"].cast<bool>();
    request.strict = given["strict"].cast<bool>();
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    for (const auto& [item, pairs] :
         given["item_actions"].cast<std::vector<std::pair<std::string, Pairs>>>()) {
        std::vector<Action>& own =
            request.itemActions.emplace_back(item, std::vector<Action>{}).second;
        for (const auto& [option, value] : pairs) {
            own.push_back({option, value});
        }
    }
    request.force = given["force"].cast<bool>();
    request.breakHardLinks = given["break_hard_links"].cast<bool>();
    py::gil_scoped_release unlocked;
    return library.edit(path, request);
}

void bindLibrary(py::module_& m) {
    const auto release = py::call_guard<py::gil_scoped_release>();
    py::class_<Library>(m, "Library")
        .def(py::init([](const std::string& path) {
                 auto library = std::make_unique<Library>(path);
                 library->setInterruptCheck(&signalled);
                 return library;
             }),
             py::arg("module_path") = "", release)
        .def_property_readonly("module_path", &Library::modulePath)
        .def("open", &Library::open, release)
        .def("stream", &Library::stream, release)
        .def("next", &Library::next, release)
        .def("keys", &Library::keys, release)
        .def("findings", &Library::findings, release)
        .def("default_frames", &Library::defaultFrames, release)
        .def("offsets", &Library::offsets, release)
        .def("evaluate_into", &evaluateInto)
        .def("check", &Library::check, release)
        .def("diff", &Library::diff, release)
        .def("report", &report, release)
        .def("edit", &edit);
}

void bindModuleFile(py::module_& m) {
    m.def("default_module_path", &defaultModulePath);
    m.def("module_line", &moduleLine);
    m.def(
        "validate",
        [](const std::string& path, std::uint64_t seed) {
            Validation result;
            {
                py::gil_scoped_release unlocked;
                result = validate(path, seed);
            }
            return py::make_tuple(result.lines, result.failed);
        },
        py::arg("path"), py::arg("seed") = 0);
}

} // namespace

PYBIND11_MODULE(_vrim, m) {
    m.doc() = "The compiled side of the vrim package; use `import vrim`.";
    translateFailures(m);
    bindScenes(m);
    bindCheck(m);
    bindEditsAndReports(m);
    bindLibrary(m);
    bindModuleFile(m);
}
