"""pytest fixtures for testing code that uses PyVyx, on the stand-in SDK's
virtual cameras instead of real ones.

Installed with PyVyx, the plugin is registered with pytest through its
``pytest11`` entry point, so a test only has to name a fixture to use it:
``vyx_sim``, ``vyx_system``, ``vyx_x1``, ``vyx_x2``, ``vyx_open_x1``,
``vyx_open_x2``, ``vyx_scene``, ``vyx_config``, ``vyx_replay``,
``vyx_fail`` and ``vyx_trace`` (``pytest --fixtures`` describes each).
Loading the plugin does nothing else: it imports neither PyVyx nor vyxsim,
and has no fixture that runs by itself, until a test asks for one. In a
PyVyx built against another SDK (which has no ``vyxsim``) every fixture
skips the test that asks for it.

The user guide's chapter "Testing your code without a camera"
(docs/testing-your-code.md) shows them at work.
"""
