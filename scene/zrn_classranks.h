// Class-list ranks of the scene graph's registered classes (see core/kvl_classranks.h).
#pragma once

#include "core/kvl_classranks.h"

KVL_CLASS_RANK(ZRNNode, 1)
KVL_CLASS_RANK(ZRNNodeCamera, 2)
KVL_CLASS_RANK(ZRNNodeFog, 3)
KVL_CLASS_RANK(ZRNNodeFoo, 4)
KVL_CLASS_RANK(ZRNNodeJoint, 5)
KVL_CLASS_RANK(ZRNNodeMaterial, 6)
KVL_CLASS_RANK(ZRNNodeMesh, 7)
KVL_CLASS_RANK(ZRNNodeTransformation, 8)
KVL_CLASS_RANK(ZRNMeshReader, 9)
KVL_CLASS_RANK(ZRNMeshReaderMD2, 10)
KVL_CLASS_RANK(ZRNMeshReaderMD3, 11)
