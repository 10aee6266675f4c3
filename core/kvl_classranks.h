// The engine's registration table: the order in which registered classes enter the
// class list (1 first). The list is walked newest first, so the last entry is the
// head. A class must appear here to be registered.
#pragma once

enum class KVLClassRank : int {
    ZRNNode = 1,
    ZRNNodeCamera = 2,
    ZRNNodeFog = 3,
    ZRNNodeFoo = 4,
    ZRNNodeJoint = 5,
    ZRNNodeMaterial = 6,
    ZRNNodeMesh = 7,
    ZRNNodeTransformation = 8,
    ZRNMeshReader = 9,
    ZRNMeshReaderMD2 = 10,
    ZRNMeshReaderMD3 = 11,
    KVLObject = 12,
    KVLBufferId = 13,
    KVLImageReader = 14,
    KVLImageReaderBMP = 15,
    KVLImageReaderJPG = 16,
    KVLImageReaderPCX = 17,
    KVLImageReaderTGA = 18,
    KVLSoundStreamer = 19,
    KVLSoundStreamerCapture = 20,
    KVLSoundStreamerMP3 = 21,
    KVLAnim = 22,
    KVLAnimMLZ = 23,
};
