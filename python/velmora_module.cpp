// The compiled part of the Python module (velmora._velmora): one resize of
// a NumPy array into another through the library, with the GIL released
// while it runs; kept plans (Plan) that run many such resizes; and the
// library's limits as constants.
//
// velmora/__init__.py checks the caller's arguments, makes byte-swapped
// input native, allocates the output and keeps plans for velmora.resize;
// this part turns both arrays into views, runs the resize and turns a
// failure into the Python exception that fits it. Ownership: both arrays
// are held by this call's arguments for as long as it runs, the GIL
// released or not, so their memory outlives the resize; the library keeps
// no pointer to them afterwards.
//
// Signals. Python runs its signal handlers (Ctrl-C's KeyboardInterrupt)
// on the main thread, between bytecodes, so a resize that held that thread
// in the library would make Ctrl-C wait for its end. On the main thread a
// resize therefore runs on a thread of its own while the caller waits in
// slices, lets Python run the handlers between them, and on an exception
// raises the library's stop flag, waits for the resize to come back and
// raises the exception. The helper thread outlives nothing: the call
// returns only after it has ended.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <velmora/samples.h>
#include <velmora/velmora.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>

#include <unistd.h>

namespace py = pybind11;

namespace {

// The sample type of a dtype the library reads in place: one of the four,
// in the machine's byte order.
bool sample_type_of(const py::dtype& dtype, velmora::sample_type* type)
{
    const char swapped = std::endian::native == std::endian::little ? '>' : '<';
    if (dtype.byteorder() == swapped)
        return false;
    for (const velmora::sample_type candidate : velmora::sample_types) {
        const bool matches = velmora::visit_sample_type(candidate, [&]<typename Sample>() {
            return dtype.kind() == (std::is_floating_point_v<Sample> ? 'f' : 'u') &&
                   dtype.itemsize() == static_cast<py::ssize_t>(sizeof(Sample));
        });
        if (matches) {
            *type = candidate;
            return true;
        }
    }
    return false;
}

velmora::array_view view_of(const py::array& array, const char* role)
{
    velmora::array_view view;
    if (!sample_type_of(array.dtype(), &view.type))
        throw py::type_error(std::string("the ") + role + " is not a native-order uint8, uint16, float32 or float64 array, but " +
                             py::str(array.dtype()).cast<std::string>());
    if (array.ndim() < 1 || array.ndim() > velmora::max_rank)
        throw py::value_error(std::string("the ") + role + " has rank " + std::to_string(array.ndim()) +
                              "; ranks go from 1 to " + std::to_string(velmora::max_rank));
    view.data = const_cast<void*>(array.data());
    view.rank = static_cast<int>(array.ndim());
    for (int a = 0; a < view.rank; ++a) {
        view.sizes[a] = array.shape(a);
        view.strides[a] = array.strides(a);
    }
    return view;
}

[[noreturn]] void raise_failure(const velmora::result& failure)
{
    switch (failure.code) {
    case velmora::status::no_memory:
        PyErr_SetString(PyExc_MemoryError, failure.message);
        throw py::error_already_set();
    case velmora::status::thread_failed:
        throw std::runtime_error(failure.message);
    default:
        // Sizes, ranks, views, settings and non-finite samples: the message
        // names the axis, index or value.
        throw py::value_error(failure.message);
    }
}

// How often a waiting caller lets Python run its signal handlers: Ctrl-C
// takes effect within about this long, plus what the library needs to
// stop (milliseconds).
constexpr std::chrono::milliseconds signal_slice{50};
// Resizes of fewer samples, in and out, end within tens of milliseconds:
// they run on the calling thread, sparing the start of a thread.
constexpr std::int64_t short_resize_samples = std::int64_t{1} << 16;

bool on_main_thread()
{
    static const unsigned long main_thread =
        py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();
    return PyThread_get_thread_ident() == main_thread;
}

std::int64_t samples_of(const velmora::array_view& view)
{
    std::int64_t count = 1;
    for (int a = 0; a < view.rank; ++a)
        count *= view.sizes[a];
    return count;
}

// Whether work on these views runs on a helper thread while the caller
// lets Python run its signal handlers.
bool runs_interruptibly(const velmora::array_view& in, const velmora::array_view& out)
{
    return on_main_thread() && samples_of(in) + samples_of(out) > short_resize_samples;
}

// Work of the library on a helper thread, and its end as the waiting
// caller sees it.
struct helper_job {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    velmora::result result;

    template <typename Job>
    void run(const Job& job)
    {
        const velmora::result r = job();
        std::lock_guard<std::mutex> held(lock);
        result = r;
        done = true;
        ended.notify_one();
    }

    // Waits at most one slice, the GIL released; true when the resize has
    // ended.
    bool wait_slice()
    {
        py::gil_scoped_release released;
        std::unique_lock<std::mutex> held(lock);
        return ended.wait_for(held, signal_slice, [this] { return done; });
    }
};

// The job (a call of the library that asks `stop`) on a helper thread,
// Python's signal handlers run every slice meanwhile; an exception they
// raise stops the job and is raised when it has ended.
template <typename Job>
velmora::result run_interruptibly(std::atomic<bool>& stop, const Job& job)
{
    helper_job waiting;
    std::thread helper;
    try {
        helper = std::thread([&] { waiting.run(job); });
    } catch (const std::system_error&) {
        // No thread to spare: the job on this one, as for short ones.
        py::gil_scoped_release released;
        return job();
    }
    bool interrupted = false;
    while (!waiting.wait_slice()) {
        if (!interrupted && PyErr_CheckSignals() != 0) {
            interrupted = true;
            stop.store(true);
        }
    }
    helper.join();
    if (interrupted)
        throw py::error_already_set();
    return waiting.result;
}

velmora::result resize_interruptibly(const velmora::array_view& in, const velmora::array_view& out,
                                     velmora::settings how)
{
    std::atomic<bool> stop{false};
    how.stop = &stop;
    return run_interruptibly(stop, [&] { return velmora::resize(in, out, how); });
}

void resize_into(const py::array& in, py::array& out, int threads, bool truncate)
{
    const velmora::array_view in_view = view_of(in, "input");
    velmora::array_view out_view = view_of(out, "output");
    out_view.data = out.mutable_data();  // raises for a read-only output
    velmora::settings how;
    how.threads = threads;
    how.rounding = truncate ? velmora::rounding::truncate : velmora::rounding::nearest;
    velmora::result done;
    if (runs_interruptibly(in_view, out_view)) {
        done = resize_interruptibly(in_view, out_view, how);
    } else {
        py::gil_scoped_release released;
        done = velmora::resize(in_view, out_view, how);
    }
    if (!done)
        raise_failure(done);
}

// Kept plans: velmora.Plan, and the plans velmora.resize keeps for calls
// that come again with the same sizes, types and settings.
//
// A kept_plan owns a library plan and the stop flag the plan's settings
// point to. Python holds the record on the heap and never moves it, so the
// flag lives exactly as long as the plan; each run lowers it first. A plan
// runs one resize at a time: a second caller waits for the first, the GIL
// released. After fork() the child has none of the plan's threads: there
// the plan is neither run nor destroyed (its memory is left to the child's
// end) and the next run makes a new one.
class kept_plan {
public:
    kept_plan(const py::tuple& in_sizes, const py::dtype& in_type, const py::tuple& out_sizes,
              const py::dtype& out_type, int threads, bool truncate)
    {
        shape_in_ = shape_view(in_sizes, in_type, "input");
        shape_out_ = shape_view(out_sizes, out_type, "output");
        how_.threads = threads;
        how_.rounding = truncate ? velmora::rounding::truncate : velmora::rounding::nearest;
        how_.stop = &stop_;
        make();
    }
    kept_plan(const kept_plan&) = delete;
    kept_plan& operator=(const kept_plan&) = delete;

    ~kept_plan()
    {
        if (owner_ != getpid())
            abandon();
    }

    void execute(const py::array& in, py::array& out)
    {
        const velmora::array_view in_view = view_of(in, "input");
        velmora::array_view out_view = view_of(out, "output");
        out_view.data = out.mutable_data();  // raises for a read-only output
        std::unique_lock<std::mutex> held(running_, std::defer_lock);
        {
            py::gil_scoped_release released;
            held.lock();
        }
        if (owner_ != getpid()) {
            abandon();
            make();
        }
        stop_.store(false);
        velmora::result done;
        if (runs_interruptibly(in_view, out_view)) {
            done = run_interruptibly(stop_, [&] { return velmora::run(planned_, in_view, out_view); });
        } else {
            py::gil_scoped_release released;
            done = velmora::run(planned_, in_view, out_view);
        }
        if (!done)
            raise_failure(done);
    }

    std::size_t bytes() const { return velmora::plan_bytes(planned_); }

private:
    // A view of the sizes and type alone: make_plan reads no data.
    static velmora::array_view shape_view(const py::tuple& sizes, const py::dtype& type, const char* role)
    {
        velmora::array_view view;
        if (!sample_type_of(type, &view.type))
            throw py::type_error(std::string("the ") + role + " type is not a native-order uint8, uint16, float32 "
                                 "or float64, but " + py::str(py::handle(type)).cast<std::string>());
        if (sizes.empty() || sizes.size() > static_cast<std::size_t>(velmora::max_rank))
            throw py::value_error(std::string("the ") + role + " has rank " + std::to_string(sizes.size()) +
                                  "; ranks go from 1 to " + std::to_string(velmora::max_rank));
        view.rank = static_cast<int>(sizes.size());
        for (int a = 0; a < view.rank; ++a)
            view.sizes[a] = sizes[static_cast<std::size_t>(a)].cast<std::int64_t>();
        return view;
    }

    void make()
    {
        stop_.store(false);
        velmora::result made;
        if (runs_interruptibly(shape_in_, shape_out_)) {
            made = run_interruptibly(stop_, [&] { return velmora::make_plan(&planned_, shape_in_, shape_out_, how_); });
        } else {
            py::gil_scoped_release released;
            made = velmora::make_plan(&planned_, shape_in_, shape_out_, how_);
        }
        if (!made)
            raise_failure(made);
        owner_ = getpid();
    }

    // Forgets a plan whose threads belong to the parent of a forked child.
    void abandon() { static_cast<void>(planned_.state.release()); }

    velmora::array_view shape_in_;
    velmora::array_view shape_out_;
    velmora::settings how_;
    std::atomic<bool> stop_{false};
    velmora::plan planned_;
    pid_t owner_ = 0;
    std::mutex running_;
};

// One pass of a resize along one axis (velmora.h's forward_axis and
// inverse_axis), for velmora.dask's blocks. They run on Dask's worker
// threads, so the GIL is simply released.
velmora::axis_lines axis_lines_of(int axis, std::uint32_t line_axes, const std::optional<py::array>& largest)
{
    velmora::axis_lines lines;
    lines.axis = axis;
    lines.line_axes = line_axes;
    if (largest)
        lines.largest = view_of(*largest, "largest magnitudes");
    return lines;
}

// A single-axis pass from `from` into `to`: pass(from_view, to_view,
// lines, how) runs with the GIL released.
template <typename Pass>
void axis_pass_into(const py::array& from, const char* from_name, py::array& to, const char* to_name, int axis,
                    std::uint32_t line_axes, const std::optional<py::array>& largest, const velmora::settings& how,
                    Pass pass)
{
    const velmora::array_view from_view = view_of(from, from_name);
    velmora::array_view to_view = view_of(to, to_name);
    to_view.data = to.mutable_data();
    const velmora::axis_lines lines = axis_lines_of(axis, line_axes, largest);
    velmora::result done;
    {
        py::gil_scoped_release released;
        done = pass(from_view, to_view, lines, how);
    }
    if (!done)
        raise_failure(done);
}

void forward_axis_into(const py::array& in, py::array& coefficients, int axis, std::uint32_t line_axes,
                       const std::optional<py::array>& largest, int threads)
{
    velmora::settings how;
    how.threads = threads;
    axis_pass_into(in, "input", coefficients, "coefficients", axis, line_axes, largest, how,
                   [](const velmora::array_view& from, const velmora::array_view& to, const velmora::axis_lines& lines,
                      const velmora::settings& settings) { return velmora::forward_axis(from, to, lines, settings); });
}

void inverse_axis_into(const py::array& coefficients, py::array& out, int axis, std::int64_t length,
                       std::uint32_t line_axes, const std::optional<py::array>& largest, int threads, bool truncate)
{
    velmora::settings how;
    how.threads = threads;
    how.rounding = truncate ? velmora::rounding::truncate : velmora::rounding::nearest;
    axis_pass_into(coefficients, "coefficients", out, "output", axis, line_axes, largest, how,
                   [length](const velmora::array_view& from, const velmora::array_view& to,
                            const velmora::axis_lines& lines, const velmora::settings& settings) {
                       return velmora::inverse_axis(from, to, length, lines, settings);
                   });
}

}  // namespace

PYBIND11_MODULE(_velmora, module)
{
    module.doc() = "The compiled part of velmora; use velmora.resize.";
    module.def("resize_into", &resize_into, py::arg("input"), py::arg("output"), py::arg("threads"),
               py::arg("truncate"),
               "Resizes input into output (native-order arrays of one of the four sample types, of one rank);\n"
               "threads 0 means every CPU the process may run on. The GIL is released while it runs; on the\n"
               "main thread signal handlers run every 50 ms meanwhile, and an exception of theirs (Ctrl-C's\n"
               "KeyboardInterrupt) stops the resize and is raised.");
    py::class_<kept_plan>(module, "Plan",
                          "A library plan kept for many resizes between arrays of one pair of shapes and types;\n"
                          "velmora.Plan checks the arguments and wraps it.")
        .def(py::init<const py::tuple&, const py::dtype&, const py::tuple&, const py::dtype&, int, bool>(),
             py::arg("in_sizes"), py::arg("in_type"), py::arg("out_sizes"), py::arg("out_type"), py::arg("threads"),
             py::arg("truncate"))
        .def("execute", &kept_plan::execute, py::arg("input"), py::arg("output"),
             "Resizes input into output (native-order arrays of the planned shapes and types), as resize_into.")
        .def_property_readonly("nbytes", &kept_plan::bytes,
                               "Bytes of memory the plan holds: work arrays, workspaces, tables, transform plans.");

    module.def("forward_axis_into", &forward_axis_into, py::arg("input"), py::arg("coefficients"), py::arg("axis"),
               py::arg("line_axes"), py::arg("largest"), py::arg("threads"),
               "The forward pass along one axis: input's samples into float64 cosine coefficients (at most as many\n"
               "along the axis); line_axes is a bit mask of the axes that number lines for pairing; largest (or\n"
               "None) each line-set's largest magnitude, to scale as velmora.resize does. The GIL is released.");
    module.def("inverse_axis_into", &inverse_axis_into, py::arg("coefficients"), py::arg("output"), py::arg("axis"),
               py::arg("length"), py::arg("line_axes"), py::arg("largest"), py::arg("threads"), py::arg("truncate"),
               "The inverse pass along one axis: float64 coefficients into output's samples; length is the axis's\n"
               "size before the resize. The other arguments as for forward_axis_into.");
    module.def("available_threads", &velmora::available_threads,
               "The number of CPUs the process may run on (its affinity mask), at most max_threads.");
    module.attr("version") = py::str(velmora::version);  // declared without its size, which pybind11 cannot cast
    module.attr("max_rank") = velmora::max_rank;
    module.attr("max_axis_length") = velmora::max_axis_length;
    module.attr("max_threads") = velmora::max_threads;
}
