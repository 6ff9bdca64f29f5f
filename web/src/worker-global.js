// Appended after the factory: a module worker imports tarvello.js as a
// module, where the factory's top-level name is not a global of its own.
globalThis.createTarvello = createTarvello;
