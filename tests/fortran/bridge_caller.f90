! A Fortran client of the GPU bridge, as such programs call it: external routines with
! implicit interfaces, arguments by reference, the count a default integer.
program bridge_caller
    implicit none
    integer, parameter :: n = 64, tone_bin = 5
    complex :: signal(n), spectrum(n)
    real :: angle, expected
    integer :: j, k

    signal = (0.0, 0.0)
    signal(1) = (1.0, 0.0)
    call fft_1d_c2c(n, signal, spectrum)
    if (any(spectrum /= (1.0, 0.0))) error stop 'fft_1d_c2c: the impulse is not flat'
    spectrum = (-1.0, -1.0)
    call c2c_1d(n, signal, spectrum)
    if (any(spectrum /= (1.0, 0.0))) error stop 'c2c_1d: the impulse is not flat'

    do j = 0, n - 1
        angle = 2.0 * acos(-1.0) * real(tone_bin * j) / real(n)
        signal(j + 1) = cmplx(cos(angle), sin(angle))
    end do
    call c2c_1d(n, signal, spectrum)
    do k = 0, n - 1
        expected = merge(real(n), 0.0, k == tone_bin)
        if (abs(spectrum(k + 1) - expected) > 1.0e-3 * n) error stop 'c2c_1d: the tone is wrong'
    end do
    print '(a)', 'bridge ok'
end program bridge_caller
