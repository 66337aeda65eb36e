// scene.js - mvviewer's scene in WebGL: the frame as background, then on the
// tracked marker a white square, a lit sphere, three axes and the particle
// fountain, with the viewer's geometry, colours, lighting and fountain rules
// (programs/mvviewer/scene.cpp).

const PARTICLE_MAX = 10000;
const NEAR = 50.0, FAR = 5000.0;  // mm, as the viewer's projection

// --- the fountain: the viewer's particles, in 32-bit floats as there ----

export class Fountain {
  constructor() {
    const n = PARTICLE_MAX;
    this.life = new Float32Array(n);
    this.position = new Float32Array(3 * n);
    this.velocity = new Float32Array(3 * n);
    this.active = new Uint8Array(n);
    for (let i = 0; i < n; i++) { this.create(i); this.active[i] = 0; }
    this.lastFrame = performance.now();
  }

  create(i) {
    this.life[i] = 1000.0;
    this.position.fill(0, 3 * i, 3 * i + 3);
    // The viewer draws random() in 0 .. 2^31 - 1: each quotient is in
    // [0, 0.0005), so the sideways velocities lean towards negative x and z.
    const r = () => Math.floor(Math.random() * 2147483648);
    this.velocity[3 * i] = 0.0005 - 3.0 * (r() / 4294967295000.0);
    this.velocity[3 * i + 1] = 0.01 - 10.0 * (r() / 4294967295000.0);
    this.velocity[3 * i + 2] = 0.0005 - 3.0 * (r() / 4294967295000.0);
    this.active[i] = 1;
  }

  // New particles for the milliseconds since the last draw: 20 per ms, at
  // most all of them.
  static budget(elapsedMs) {
    if (elapsedMs <= 0) return 0;
    return Math.min(PARTICLE_MAX, Math.trunc(elapsedMs) * 20);
  }

  // One pass in index order: particles below the marker plane die, live ones
  // are drawn (lines into `out`: x y z r g b per vertex), free ones are made
  // while the budget lasts. Returns the vertex count written.
  pass(budget, out) {
    let created = 0, v = 0;
    const fade = 40.0;
    for (let i = 0; i < PARTICLE_MAX; i++) {
      if (this.position[3 * i + 1] < 0.0) this.life[i] = 0.0;
      if (this.active[i] === 1) {
        const x = 1000.0 * this.position[3 * i], y = 1000.0 * this.position[3 * i + 1];
        const z = 1000.0 * this.position[3 * i + 2];
        const g = Math.fround(0.0 + 1.0 - this.life[i] / 1000.0);
        const o = 6 * v;
        out[o] = x; out[o + 1] = y; out[o + 2] = z;
        out[o + 6] = x + 300.0 * this.velocity[3 * i];
        out[o + 7] = y + 300.0 * this.velocity[3 * i + 1];
        out[o + 8] = z + 300.0 * this.velocity[3 * i + 2];
        out[o + 3] = out[o + 9] = 1.0;
        out[o + 4] = out[o + 10] = g;
        out[o + 5] = out[o + 11] = 0.2;
        v += 2;
      } else if (created < budget) {
        this.create(i);
        created++;
      }
      if (this.life[i] <= 0.0) this.active[i] = 0;
    }
    // One simulation step: life fades, positions move, gravity.
    for (let i = 0; i < PARTICLE_MAX; i++) {
      this.life[i] -= fade;
      for (let k = 0; k < 3; k++) this.position[3 * i + k] += this.velocity[3 * i + k];
      this.velocity[3 * i + 1] = this.velocity[3 * i + 1] - 0.0007;
    }
    return v;
  }
}

// --- the camera as an OpenGL projection ---------------------------------

// Intrinsic and rigid parts of a 3x4 projection (Gram-Schmidt on the rows
// from the bottom up, as the library's mvParamDecompMat).
function decompose(source) {
  const s = source[2][3] >= 0 ? source.map((r) => r.slice()) : source.map((r) => r.map((v) => -v));
  const c = [[0, 0, 0, 0], [0, 0, 0, 0], [0, 0, 0, 0]], t = [[0, 0, 0, 0], [0, 0, 0, 0], [0, 0, 0, 0]];
  const norm = (a) => Math.hypot(a[0], a[1], a[2]);
  const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  c[2][2] = norm(s[2]);
  for (let k = 0; k < 4; k++) t[2][k] = s[2][k] / c[2][2];
  c[1][2] = dot(t[2], s[1]);
  for (let k = 0; k < 3; k++) t[1][k] = s[1][k] - c[1][2] * t[2][k];
  c[1][1] = norm(t[1]);
  for (let k = 0; k < 3; k++) t[1][k] /= c[1][1];
  c[0][2] = dot(t[2], s[0]);
  c[0][1] = dot(t[1], s[0]);
  for (let k = 0; k < 3; k++) t[0][k] = s[0][k] - c[0][1] * t[1][k] - c[0][2] * t[2][k];
  c[0][0] = norm(t[0]);
  for (let k = 0; k < 3; k++) t[0][k] /= c[0][0];
  t[1][3] = (s[1][3] - c[1][2] * t[2][3]) / c[1][1];
  t[0][3] = (s[0][3] - c[0][1] * t[1][3] - c[0][2] * t[2][3]) / c[0][0];
  const d = c[2][2];
  for (let r = 0; r < 3; r++) for (let k = 0; k < 3; k++) c[r][k] /= d;
  return { intrinsic: c, trans: t };
}

// The viewer's projection (column-major 4x4): image rows flipped so that the
// frame's top row is at the top of the viewport, whose y runs upwards.
export function projectionMatrix(camera) {
  const { xsize: w, ysize: h } = camera;
  const p = camera.projection.map((r) => r.slice());
  for (let j = 0; j < 4; j++) p[1][j] = (h - 1) * camera.projection[2][j] - camera.projection[1][j];
  const { intrinsic: k, trans } = decompose(p);
  const q = [
    [2 * k[0][0] / w, 2 * k[0][1] / w, 2 * k[0][2] / w - 1, 0],
    [0, 2 * k[1][1] / h, 2 * k[1][2] / h - 1, 0],
    [0, 0, (FAR + NEAR) / (FAR - NEAR), FAR * -2 * NEAR / (FAR - NEAR)],
    [0, 0, 1, 0],
  ];
  const m = new Float32Array(16);
  for (let i = 0; i < 4; i++) {
    for (let j = 0; j < 3; j++) m[4 * j + i] = q[i][0] * trans[0][j] + q[i][1] * trans[1][j] + q[i][2] * trans[2][j];
    m[12 + i] = q[i][0] * trans[0][3] + q[i][1] * trans[1][3] + q[i][2] * trans[2][3] + q[i][3];
  }
  return m;
}

// A 3x4 pose as a column-major 4x4.
function poseMatrix(pose) {
  const m = new Float32Array(16);
  for (let i = 0; i < 3; i++) for (let j = 0; j < 4; j++) m[4 * j + i] = pose[i][j];
  m[15] = 1;
  return m;
}

function multiply(a, b) {
  const m = new Float32Array(16);
  for (let i = 0; i < 4; i++)
    for (let j = 0; j < 4; j++) {
      let s = 0;
      for (let k = 0; k < 4; k++) s += a[4 * k + i] * b[4 * j + k];
      m[4 * j + i] = s;
    }
  return m;
}

// glRotatef(90, 1, 0, 0): the fountain's y axis is the marker's z axis.
const ROTATE_X90 = new Float32Array([1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1]);

// --- shaders ---------------------------------------------------------------

// The frame undistorted, as the viewer shows it: each screen pixel is an
// ideal pixel, and takes the frame's colour where the lens put that point
// (the library's mvParamIdeal2Observ), black beyond the frame.
const BACKGROUND_VS = `
attribute vec2 a_pos;
void main() { gl_Position = vec4(a_pos, 0.0, 1.0); }`;
const BACKGROUND_FS = `
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D u_frame;
uniform vec2 u_size, u_buffer;
uniform vec4 u_distortion;  // centre x, y, radial factor x 1e8, scale
void main() {
  vec2 ideal = vec2(gl_FragCoord.x, u_buffer.y - gl_FragCoord.y) / u_buffer * u_size - 0.5;
  vec2 p = (ideal - u_distortion.xy) * u_distortion.w;
  vec2 observed = p * (1.0 - u_distortion.z / 100000000.0 * dot(p, p)) + u_distortion.xy;
  vec2 uv = (observed + 0.5) / u_size;
  if (uv.x < 0.0 || uv.y < 0.0 || uv.x > 1.0 || uv.y > 1.0) gl_FragColor = vec4(0.0, 0.0, 0.0, 1.0);
  else gl_FragColor = vec4(texture2D(u_frame, uv).rgb, 1.0);
}`;

const COLOUR_VS = `
attribute vec3 a_pos;
attribute vec3 a_colour;
uniform mat4 u_projection, u_modelview;
varying vec3 v_colour;
void main() { v_colour = a_colour; gl_Position = u_projection * u_modelview * vec4(a_pos, 1.0); }`;
const COLOUR_FS = `
precision mediump float;
varying vec3 v_colour;
void main() { gl_FragColor = vec4(v_colour, 1.0); }`;

// Fixed-function lighting per vertex, as the viewer's OpenGL 1.x computes
// it: global ambient 0.2 and light ambient 0.1 on the blue ambient material,
// diffuse 0.9 on the default grey diffuse 0.8, white specular on the blue
// specular material with shininess 50, a light at infinity and a viewer at
// infinity along +z of eye space.
const SPHERE_VS = `
attribute vec3 a_pos;
uniform mat4 u_projection, u_modelview;
uniform mat3 u_normal;
uniform vec3 u_light;
varying vec3 v_colour;
void main() {
  vec3 n = normalize(u_normal * a_pos);
  float diffuse = max(dot(n, u_light), 0.0);
  vec3 h = normalize(u_light + vec3(0.0, 0.0, 1.0));
  float specular = diffuse > 0.0 ? pow(max(dot(n, h), 0.0), 50.0) : 0.0;
  vec3 blue = vec3(0.0, 0.0, 1.0);
  v_colour = (0.2 + 0.1) * blue + diffuse * 0.9 * vec3(0.8) + specular * blue;
  gl_Position = u_projection * u_modelview * vec4(a_pos, 1.0);
}`;

function compile(gl, vs, fs) {
  const program = gl.createProgram();
  for (const [type, source] of [[gl.VERTEX_SHADER, vs], [gl.FRAGMENT_SHADER, fs]]) {
    const shader = gl.createShader(type);
    gl.shaderSource(shader, source);
    gl.compileShader(shader);
    if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(shader));
    gl.attachShader(program, shader);
  }
  gl.linkProgram(program);
  if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(program));
  return program;
}

// glutSolidSphere(5, 50, 50): stacks from the -z pole to +z, as triangles.
function sphereTriangles(radius, slices, stacks) {
  const v = [];
  const at = (i, j) => {
    const phi = Math.PI * (i / stacks) - Math.PI / 2, theta = 2 * Math.PI * (j / slices);
    return [radius * Math.cos(phi) * Math.cos(theta), radius * Math.cos(phi) * Math.sin(theta), radius * Math.sin(phi)];
  };
  for (let i = 0; i < stacks; i++)
    for (let j = 0; j < slices; j++) {
      const a = at(i, j), b = at(i, j + 1), c = at(i + 1, j + 1), d = at(i + 1, j);
      v.push(...a, ...b, ...c, ...a, ...c, ...d);
    }
  return new Float32Array(v);
}

export class Scene {
  constructor(canvas) {
    const gl = canvas.getContext('webgl', { preserveDrawingBuffer: true, antialias: false });
    if (!gl) throw new Error('this browser gives no WebGL');
    this.gl = gl;
    this.background = compile(gl, BACKGROUND_VS, BACKGROUND_FS);
    this.colour = compile(gl, COLOUR_VS, COLOUR_FS);
    this.sphere = compile(gl, SPHERE_VS, COLOUR_FS);
    this.quad = this._buffer(new Float32Array([-1, -1, 1, -1, -1, 1, 1, 1]));
    // The white square over the marker, unlit: 50 mm, z = 0.
    const w = [1, 1, 1];
    this.square = this._buffer(new Float32Array([-25, -25, 0, ...w, -25, 25, 0, ...w, 25, 25, 0, ...w,
      -25, -25, 0, ...w, 25, 25, 0, ...w, 25, -25, 0, ...w]));
    this.axes = this._buffer(new Float32Array([0, 0, 0, 1, 0, 0, 10, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0,
      0, 10, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 10, 0, 0, 1]));
    const ball = sphereTriangles(5.0, 50, 50);
    this.ball = this._buffer(ball);
    this.ballVertices = ball.length / 3;
    this.particleData = new Float32Array(PARTICLE_MAX * 12);
    this.particles = gl.createBuffer();
    gl.bindBuffer(gl.ARRAY_BUFFER, this.particles);
    gl.bufferData(gl.ARRAY_BUFFER, this.particleData.byteLength, gl.DYNAMIC_DRAW);
    this.texture = gl.createTexture();
    gl.bindTexture(gl.TEXTURE_2D, this.texture);
    // Linear: the undistorted frame is sampled between pixels.
    for (const [k, v] of [[gl.TEXTURE_MIN_FILTER, gl.LINEAR], [gl.TEXTURE_MAG_FILTER, gl.LINEAR],
      [gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE], [gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE]]) gl.texParameteri(gl.TEXTURE_2D, k, v);
    this.fountain = new Fountain();
  }

  _buffer(data) {
    const gl = this.gl, b = gl.createBuffer();
    gl.bindBuffer(gl.ARRAY_BUFFER, b);
    gl.bufferData(gl.ARRAY_BUFFER, data, gl.STATIC_DRAW);
    return b;
  }

  _attributes(program, buffer, withColour) {
    const gl = this.gl;
    gl.bindBuffer(gl.ARRAY_BUFFER, buffer);
    const stride = withColour ? 24 : 12;
    const pos = gl.getAttribLocation(program, 'a_pos');
    gl.enableVertexAttribArray(pos);
    gl.vertexAttribPointer(pos, 3, gl.FLOAT, false, stride, 0);
    if (withColour) {
      const colour = gl.getAttribLocation(program, 'a_colour');
      gl.enableVertexAttribArray(colour);
      gl.vertexAttribPointer(colour, 3, gl.FLOAT, false, stride, 12);
    }
  }

  _matrices(program, projection, modelview) {
    const gl = this.gl;
    gl.uniformMatrix4fv(gl.getUniformLocation(program, 'u_projection'), false, projection);
    gl.uniformMatrix4fv(gl.getUniformLocation(program, 'u_modelview'), false, modelview);
  }

  // Draws the frame (ImageData), undistorted through `camera` (the
  // tracker's, at the frame's size), and the scene on the marker when
  // `pose` is given.
  draw(frame, camera, pose) {
    const gl = this.gl;
    gl.viewport(0, 0, gl.drawingBufferWidth, gl.drawingBufferHeight);
    gl.disable(gl.DEPTH_TEST);
    gl.bindTexture(gl.TEXTURE_2D, this.texture);
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, gl.RGBA, gl.UNSIGNED_BYTE, frame);
    gl.useProgram(this.background);
    const d = camera ? camera.distortion : [0, 0, 0, 1];
    gl.uniform2f(gl.getUniformLocation(this.background, 'u_size'), frame.width, frame.height);
    gl.uniform2f(gl.getUniformLocation(this.background, 'u_buffer'), gl.drawingBufferWidth, gl.drawingBufferHeight);
    gl.uniform4f(gl.getUniformLocation(this.background, 'u_distortion'), d[0], d[1], d[2], d[3]);
    gl.bindBuffer(gl.ARRAY_BUFFER, this.quad);
    const pos = gl.getAttribLocation(this.background, 'a_pos');
    gl.enableVertexAttribArray(pos);
    gl.vertexAttribPointer(pos, 2, gl.FLOAT, false, 0, 0);
    gl.drawArrays(gl.TRIANGLE_STRIP, 0, 4);
    gl.disableVertexAttribArray(pos);
    if (!pose) return;

    // The colour buffer holds the frame and is kept; depth starts afresh.
    gl.clearDepth(1.0);
    gl.clear(gl.DEPTH_BUFFER_BIT);
    gl.enable(gl.DEPTH_TEST);
    gl.depthFunc(gl.LEQUAL);
    const projection = projectionMatrix(camera);
    const marker = poseMatrix(pose);

    gl.useProgram(this.colour);
    this._matrices(this.colour, projection, marker);
    this._attributes(this.colour, this.square, true);
    gl.drawArrays(gl.TRIANGLES, 0, 6);

    const rotated = multiply(marker, ROTATE_X90);
    // The light was placed while the marker's transform was current.
    const l = [100, -200, 200];
    const light = [0, 1, 2].map((i) => marker[i] * l[0] + marker[4 + i] * l[1] + marker[8 + i] * l[2]);
    const n = Math.hypot(...light);
    gl.useProgram(this.sphere);
    this._matrices(this.sphere, projection, rotated);
    gl.uniform3f(gl.getUniformLocation(this.sphere, 'u_light'), light[0] / n, light[1] / n, light[2] / n);
    // Rigid: the normals turn with the modelview's rotation.
    const normal = new Float32Array([rotated[0], rotated[1], rotated[2], rotated[4], rotated[5], rotated[6],
      rotated[8], rotated[9], rotated[10]]);
    gl.uniformMatrix3fv(gl.getUniformLocation(this.sphere, 'u_normal'), false, normal);
    this._attributes(this.sphere, this.ball, false);
    gl.drawArrays(gl.TRIANGLES, 0, this.ballVertices);

    gl.useProgram(this.colour);
    this._matrices(this.colour, projection, rotated);
    this._attributes(this.colour, this.axes, true);
    gl.drawArrays(gl.LINES, 0, 6);

    const now = performance.now();
    const count = this.fountain.pass(Fountain.budget(now - this.fountain.lastFrame), this.particleData);
    this.fountain.lastFrame = performance.now();
    if (count > 0) {
      gl.bindBuffer(gl.ARRAY_BUFFER, this.particles);
      gl.bufferSubData(gl.ARRAY_BUFFER, 0, this.particleData.subarray(0, count * 6));
      this._attributes(this.colour, this.particles, true);
      gl.drawArrays(gl.LINES, 0, count);
    }
    gl.disable(gl.DEPTH_TEST);
  }
}
