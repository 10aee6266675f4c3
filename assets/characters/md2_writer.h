// Writes Quake II MD2 models (magic "IDP2", version 8) from floating-point frames.
// Each frame is quantised to 8 bits per axis over its own bounding box; every vertex
// gets the index of its nearest entry in the 162-normal table. Limits: at most 2048
// vertices, 4096 triangles, 16-character frame names and 63-character skin names,
// as the format allows; the writer rejects anything beyond them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct Md2Vec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

struct Md2Triangle {
    std::array<uint16_t, 3> vertex{};    // indices into every frame's vertex list
    std::array<uint16_t, 3> texCoord{};  // indices into the texture coordinates
};

struct Md2Frame {
    std::string name;                // at most 15 characters
    std::vector<Md2Vec3> vertices;   // same count in every frame
};

struct Md2Model {
    int skinWidth = 256;
    int skinHeight = 256;
    std::vector<std::string> skins;               // names stored in the skin block
    std::vector<std::array<int16_t, 2>> texCoords; // (s, t) in skin pixels
    std::vector<Md2Triangle> triangles;
    // Winding of the front faces as seen from outside. Classic models use
    // clockwise; a model meant to be turned inside out by its user (the room
    // scene flips some characters) is stored counter-clockwise. The stored
    // normal indices always point outward.
    bool frontClockwise = true;
    std::vector<Md2Frame> frames;
};

// The MD2 file, or an empty vector (with a reason in error when given) if the
// model breaks one of the format's limits or is inconsistent.
std::vector<uint8_t> WriteMd2(const Md2Model& model, std::string* error = nullptr);
