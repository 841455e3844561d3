# Imports glTF scenes into Blender and renders each with Cycles from the
# scene's first camera node, writing the picture as a binary PPM (sRGB, top
# row first). Run headless, several scenes in one Blender:
#
#   blender -b --factory-startup -P render.py -- WIDTH HEIGHT SAMPLES IN.gltf OUT.ppm [IN.gltf OUT.ppm ...]
import json
import sys

import numpy

# Debian's Blender 3.4 imports glTF with numpy.bool, which current numpy
# no longer has.
if not hasattr(numpy, "bool"):
    numpy.bool = bool

import bpy


def first_camera_name(path):
    with open(path, encoding="utf-8") as f:
        gltf = json.load(f)
    nodes = gltf["nodes"]
    pending = list(gltf["scenes"][gltf.get("scene", 0)]["nodes"])
    while pending:  # breadth first, in the order the nodes are listed
        node = nodes[pending.pop(0)]
        if "camera" in node:
            return node["name"]
        pending.extend(node.get("children", []))
    raise SystemExit(path + ": no camera node")


def render(path, out, width, height, samples):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    bpy.ops.import_scene.gltf(filepath=path)
    scene = bpy.context.scene
    scene.camera = bpy.data.objects[first_camera_name(path)]
    scene.render.engine = "CYCLES"
    scene.cycles.device = "CPU"
    scene.cycles.samples = samples
    scene.cycles.use_denoising = False  # Debian's build has no OpenImageDenoise
    scene.cycles.use_adaptive_sampling = False
    scene.render.resolution_x = width
    scene.render.resolution_y = height
    scene.render.resolution_percentage = 100
    # Plain sRGB of the scene's light, as the other renderers give it.
    scene.view_settings.view_transform = "Standard"
    scene.view_settings.look = "None"
    scene.view_settings.exposure = 0
    scene.view_settings.gamma = 1
    scene.render.image_settings.file_format = "PNG"
    scene.render.image_settings.color_depth = "8"
    scene.render.filepath = out + ".png"
    bpy.ops.render.render(write_still=True)
    image = bpy.data.images.load(out + ".png")
    pixels = numpy.array(image.pixels[:]).reshape(height, width, 4)[::-1, :, :3]
    with open(out, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        f.write(numpy.clip(numpy.round(pixels * 255), 0, 255).astype(numpy.uint8).tobytes())


def main():
    args = sys.argv[sys.argv.index("--") + 1:]
    width, height, samples = int(args[0]), int(args[1]), int(args[2])
    pairs = args[3:]
    for k in range(0, len(pairs), 2):
        render(pairs[k], pairs[k + 1], width, height, samples)
        print("rendered " + pairs[k + 1], flush=True)


main()
