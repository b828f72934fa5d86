#!/usr/bin/env python3
"""Peer renderer for the rendering benchmark: VTK's CPU ray caster
(vtkFixedPointVolumeRayCastMapper), offscreen, on the benchmark's raw grey
volume, with the same image size and viewing directions as the benchmark's
own renderers.

  vtk_render.py <raw> <n> <bytes> <isize> <ramp> <angles> [repeats]
                [--mip] [--threads N] [--nearest] [--ppm path]

  raw     n^3 voxels, x fastest, 1 or 2 bytes each (little-endian)
  ramp    "v0:o0,v1:o1,..." opacity o at grey value v, linear between
          (ignored with --mip, which projects the maximum value)
  angles  "t0:s0,t1:s1,..." (tilt, spin) in degrees; the view of a pair is
          the rotation R = Ry(spin) Rx(tilt) of the benchmark, one voxel per
          pixel, image column along R's first row and row along its second

Prints a description, then one line
  RESULT vtk <threads> <min ms/frame> <mean ms/frame> <set-up s> <cast ms>
where min is the mean over the directions of each direction's fastest
repeat, mean the mean over every frame (a frame is one Render() of the
window after the camera moved) and cast the mapper's own ray-casting time
per frame. Without VTK, or without an X server it can start, it prints
"SKIP vtk <reason>" and exits with status 3.
"""
import math
import os
import subprocess
import sys
import time


def skip(reason):
    print("SKIP vtk %s" % reason)
    sys.exit(3)


def pairs(text):
    out = []
    for item in text.split(","):
        a, b = item.split(":")
        out.append((float(a), float(b)))
    return out


def rotation(tilt, spin):
    """Rows of Ry(spin) Rx(tilt), as the benchmark's context computes them."""
    pi = 3.1415926536
    t, s = tilt * pi / 180.0, spin * pi / 180.0
    ct, st, cs, ss = math.cos(t), math.sin(t), math.cos(s), math.sin(s)
    rx = [[1, 0, 0], [0, ct, -st], [0, st, ct]]
    ry = [[cs, 0, ss], [0, 1, 0], [-ss, 0, cs]]
    return [[sum(ry[i][k] * rx[k][j] for k in range(3)) for j in range(3)] for i in range(3)]


def start_x_server():
    """A private virtual X server when none is given; returns its process."""
    if os.environ.get("DISPLAY"):
        return None
    read_end, write_end = os.pipe()
    try:
        proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x1024x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except OSError:
        skip("no X server (Xvfb not installed)")
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            proc.kill()
            skip("Xvfb did not start")
        number += chunk
    os.close(read_end)
    os.environ["DISPLAY"] = ":" + number.decode().strip()
    return proc


def main(argv):
    args = [a for a in argv[1:]]
    mip = "--mip" in args
    nearest = "--nearest" in args
    threads = None
    ppm = None
    if "--threads" in args:
        i = args.index("--threads")
        threads = int(args[i + 1])
        del args[i:i + 2]
    if "--ppm" in args:
        i = args.index("--ppm")
        ppm = args[i + 1]
        del args[i:i + 2]
    args = [a for a in args if a not in ("--mip", "--nearest")]
    if len(args) < 6:
        print(__doc__, file=sys.stderr)
        return 1
    raw, n, nbytes, isize = args[0], int(args[1]), int(args[2]), int(args[3])
    ramp, views = pairs(args[4]), pairs(args[5])
    repeats = int(args[6]) if len(args) > 6 else 3

    try:
        import vtkmodules.vtkCommonDataModel  # noqa: F401
        import vtkmodules.vtkIOImage  # noqa: F401
        import vtkmodules.vtkRenderingCore  # noqa: F401
        import vtkmodules.vtkRenderingVolume  # noqa: F401
        import vtkmodules.vtkRenderingOpenGL2  # noqa: F401 (the window factory)
        import vtkmodules.vtkRenderingVolumeOpenGL2  # noqa: F401
    except ImportError:
        skip("not available (python3-vtk9 is not installed for %s)" % sys.executable)
    if os.path.getsize(raw) != n * n * n * nbytes:
        print("vtk_render: %s does not hold %d^3 voxels of %d bytes" % (raw, n, nbytes),
              file=sys.stderr)
        return 2

    xserver = start_x_server()
    try:
        print(render(raw, n, nbytes, isize, ramp, views, repeats, mip, nearest, threads, ppm))
    finally:
        if xserver:
            xserver.terminate()
            xserver.wait()
    return 0


def render(raw, n, nbytes, isize, ramp, views, repeats, mip, nearest, threads, ppm):
    """Renders every view; returns the report. The window is released
    before returning, while the X server still runs."""
    import vtkmodules.vtkCommonDataModel as dm
    import vtkmodules.vtkIOImage as io
    import vtkmodules.vtkRenderingCore as rc
    import vtkmodules.vtkRenderingVolume as rv
    t0 = time.perf_counter()
    reader = io.vtkImageReader2()
    reader.SetFileName(raw)
    reader.SetFileDimensionality(3)
    reader.SetDataExtent(0, n - 1, 0, n - 1, 0, n - 1)
    reader.SetDataByteOrderToLittleEndian()
    reader.FileLowerLeftOn()  # the file's first row is y = 0, not the top
    if nbytes == 1:
        reader.SetDataScalarTypeToUnsignedChar()
    else:
        reader.SetDataScalarTypeToUnsignedShort()
    reader.Update()

    opacity = dm.vtkPiecewiseFunction()
    colour = rc.vtkColorTransferFunction()
    colour.AddRGBPoint(0.0, 1.0, 1.0, 1.0)
    colour.AddRGBPoint(65535.0, 1.0, 1.0, 1.0)
    if mip:
        opacity.AddPoint(0.0, 1.0)
        opacity.AddPoint(65535.0, 1.0)
    else:
        for v, o in ramp:
            opacity.AddPoint(v, o)
    prop = rc.vtkVolumeProperty()
    prop.SetColor(colour)
    prop.SetScalarOpacity(opacity)
    if nearest:
        prop.SetInterpolationTypeToNearest()
    else:
        prop.SetInterpolationTypeToLinear()
    if not mip:
        # The Phong coefficients of the benchmark's objects.
        prop.ShadeOn()
        prop.SetAmbient(0.1)
        prop.SetDiffuse(0.7)
        prop.SetSpecular(0.2)
        prop.SetSpecularPower(2.0)

    mapper = rv.vtkFixedPointVolumeRayCastMapper()
    mapper.SetInputConnection(reader.GetOutputPort())
    mapper.AutoAdjustSampleDistancesOff()
    mapper.SetSampleDistance(1.0)
    mapper.SetImageSampleDistance(1.0)
    if mip:
        mapper.SetBlendModeToMaximumIntensity()
    if threads:
        mapper.SetNumberOfThreads(threads)
    volume = rc.vtkVolume()
    volume.SetMapper(mapper)
    volume.SetProperty(prop)

    renderer = rc.vtkRenderer()
    renderer.AddVolume(volume)
    renderer.SetBackground(0.0, 0.0, 0.0)
    window = rc.vtkRenderWindow()
    window.SetOffScreenRendering(1)
    window.SetSize(isize, isize)
    window.AddRenderer(renderer)
    camera = renderer.GetActiveCamera()
    camera.ParallelProjectionOn()
    camera.SetParallelScale(isize / 2.0)
    centre = [(n - 1) / 2.0] * 3

    def look(tilt, spin):
        r = rotation(tilt, spin)
        # The viewer sits at -r2; image rows grow along r1, so up is -r1.
        camera.SetFocalPoint(*centre)
        camera.SetPosition(*[centre[k] - 2.0 * n * r[2][k] for k in range(3)])
        camera.SetViewUp(*[-r[1][k] for k in range(3)])
        renderer.ResetCameraClippingRange()

    look(*views[0])
    window.Render()  # first frame: textures, lookup tables, thread pool
    setup = time.perf_counter() - t0
    if ppm:
        grab = rc.vtkWindowToImageFilter()
        grab.SetInput(window)
        grab.Update()
        writer = io.vtkPNMWriter()
        writer.SetFileName(ppm)
        writer.SetInputConnection(grab.GetOutputPort())
        writer.Write()

    best = [float("inf")] * len(views)
    total = 0.0
    cast = 0.0
    for _ in range(repeats):
        for i, (tilt, spin) in enumerate(views):
            start = time.perf_counter()
            look(tilt, spin)
            window.Render()
            ms = (time.perf_counter() - start) * 1e3
            best[i] = min(best[i], ms)
            total += ms
            cast += mapper.GetTimeToDraw() * 1e3
    frames = repeats * len(views)
    used = mapper.GetNumberOfThreads()
    window.Finalize()
    return ("vtk %s: vtkFixedPointVolumeRayCastMapper, %d^3 %d-bit, image %d^2, %s interpolation, "
          "%s, %d directions x %d repeats, %d threads"
          % (vtk_version(), n, 8 * nbytes, isize, "nearest" if nearest else "linear",
             "maximum intensity" if mip else "%d-point opacity ramp, shaded" % len(ramp),
             len(views), repeats, used)
            + "\nRESULT vtk %d %.3f %.3f %.3f %.3f"
            % (used, sum(best) / len(best), total / frames, setup, cast / frames))


def vtk_version():
    import vtkmodules.vtkCommonCore as cc
    return cc.vtkVersion.GetVTKVersion()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
